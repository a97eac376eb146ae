#include "exports/still_paths.h"

namespace ravir {

QString StillBaseName(const QString& recordingFileName)
{
    const qsizetype dot = recordingFileName.indexOf('.');
    return dot < 0 ? recordingFileName : recordingFileName.left(dot);
}

StillPaths MakeStillPaths(const QString& folder, const QString& baseName, int frame)
{
    if (frame < 0 || folder.isEmpty() || baseName.isEmpty())
        return {};
    StillPaths paths;
    paths.main = folder + (folder.endsWith('/') ? "" : "/") +
                 QString::asprintf("%s-%06d", baseName.toUtf8().constData(), frame) + ".jpg";
    paths.sub = paths.main;
    if (paths.sub.size() >= 12) {
        QChar& letter = paths.sub[paths.sub.size() - 12];
        if (letter == u'M')
            letter = u'S';
        else if (letter == u'S')
            letter = u'M';
    }
    return paths;
}

}  // namespace ravir
