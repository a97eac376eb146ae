#pragma once
// What the display shows, as a user sees it: the X server's root window captured by an outside
// program (ImageMagick's `import`, else `xwd` converted by Qt), not a grab by the widget itself.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace ravir::test {

inline bool screenCaptureAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") &&
           !QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty();
}

// The whole X screen; a null image when it cannot be captured.
inline QImage captureScreen()
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/screen.png");
    QProcess p;
    p.start(QStringLiteral("import"), {QStringLiteral("-silent"), QStringLiteral("-window"),
                                       QStringLiteral("root"), file});
    if (!p.waitForFinished(15000) || p.exitCode() != 0)
        return QImage();
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

}  // namespace ravir::test
