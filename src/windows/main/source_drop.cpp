#include "windows/main/source_drop.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace ravir {

QStringList LocalPathsOfDrop(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    }
    return paths;
}

QString DroppedSourcePath(const QMimeData* mime)
{
    for (const QString& path : LocalPathsOfDrop(mime)) {
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

QString SourceArgumentPath(const QString& argument)
{
    if (argument.isEmpty())
        return QString();
    // A URL has a scheme of two or more letters before "://" or "file:"; a plain path has none.
    const QUrl url(argument);
    if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return url.isLocalFile() ? url.toLocalFile() : QString();
    if (argument.contains(QLatin1String("://")) && url.isValid() && url.scheme().size() > 1)
        return QString();
    return argument;
}

}  // namespace ravir
