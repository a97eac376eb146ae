#pragma once
// The one QApplication of the main window tests. On Qt's offscreen platform it runs on two
// screens: a 1920 x 1056 one on the left, where the layout scale is exactly 1.0, and a
// 2560 x 1320 one to its right (scale 1.25).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace ravir::test {

inline QApplication* guiApp()
{
    static int argc = 1;
    static char name[] = "test_windows_main";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        if (platform.isEmpty() || platform == "offscreen") {
            const QString config = QDir::temp().filePath(
                QStringLiteral("ravir-mainwindow-screens-%1.json").arg(QCoreApplication::applicationPid()));
            QFile f(config);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                f.write(R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": false,
 "screens": [
  {"name": "left", "x": 0, "y": 0, "width": 1920, "height": 1056,
   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
  {"name": "right", "x": 1920, "y": 0, "width": 2560, "height": 1320,
   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
                f.close();
                qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
            } else {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
        }
        return new QApplication(argc, argv);
    }();
    return instance;
}

template <class Pred>
bool waitUntil(Pred done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace ravir::test
