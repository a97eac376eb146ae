// ravir-viewer: the desktop viewer for a drive recorder's card.
//
//   ravir-viewer [SOURCE] [--screenshot FILE.png]
//
// SOURCE is a card, a folder or a movie file (a file: URL as a file manager passes it is
// accepted too); without it, or when it does not exist, the viewer chooses the card or the
// remembered source. A card, folder or movie dropped on the window opens the same way. The
// configuration file lives in the viewer's configuration folder (RAVIR_CONFIG_DIR overrides
// it). --screenshot renders the window once it has started, writes it as PNG and exits (used
// where no display is available).
#include "mainwindow/dedorade_dlg.h"
#include "mainwindow/source_drop.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    // The map (Qt WebEngine) shares the OpenGL contexts; set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The window class (X11) and application id (Wayland) match the installed desktop file.
    QApplication::setApplicationName(QStringLiteral("ravir-viewer"));
    QApplication::setDesktopFileName(QStringLiteral("ravir-viewer"));
    QApplication::setApplicationVersion(QStringLiteral(RAVIR_VERSION));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ravir-viewer")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Drive recorder card viewer"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Write a PNG of the window and exit."),
                                  QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.addPositionalArgument(QStringLiteral("source"),
                                 QStringLiteral("Card, folder or movie file (or file: URL) to open; one dropped on the window opens too."));
    parser.process(app);

    ravir::CdedoradeDlg::Options options;
    if (!parser.positionalArguments().isEmpty()) {
        const QString given = parser.positionalArguments().constFirst();
        options.source = ravir::SourceArgumentPath(given);
        if (options.source.isEmpty() || !QFileInfo::exists(options.source)) {
            // Said once; the window then starts with the usual choice of source.
            std::fprintf(stderr, "ravir-viewer: %s: %s\n", qPrintable(given),
                         options.source.isEmpty() ? "only local files and folders can be opened"
                                                  : "no such file or folder");
            options.source.clear();
        }
    }
    ravir::CdedoradeDlg window(options);
    window.show();

    if (parser.isSet(screenshot)) {
        // Taken once the first recording shows its picture, or 8 s after the start when none
        // opens.
        const QString file = parser.value(screenshot);
        auto take = [&window, file] {
            const bool ok = window.grab().save(file, "PNG");
            if (!ok)
                std::fprintf(stderr, "ravir-viewer: cannot write %s\n", qPrintable(file));
            window.close();
            QApplication::exit(ok ? 0 : 1);
        };
        QObject::connect(&window, &ravir::CdedoradeDlg::movieReady, &window,
                         [&window, take] { QTimer::singleShot(700, &window, take); });
        QObject::connect(&window, &ravir::CdedoradeDlg::deferredStartDone, &window,
                         [&window, take] { QTimer::singleShot(8000, &window, take); });
    }
    return QApplication::exec();
}
