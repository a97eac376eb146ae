// ravir-viewer: the desktop viewer for a drive recorder's card.
//
//   ravir-viewer [SOURCE] [--screenshot FILE.png]
//
// SOURCE is a card, a folder or a movie file (a file: URL as a file manager passes it is
// accepted too); without it, or when it does not exist, the viewer chooses the card or the
// remembered source. A card, folder or movie dropped on the window opens the same way. The
// configuration file lives in the viewer's configuration folder (RAVIR_CONFIG_DIR overrides
// it). --screenshot renders the window once it has started, writes it as PNG and exits (used
// where no display is available: without a display it renders off screen). --help and --version
// need no display.
#include "windows/main/dedorade_dlg.h"
#include "windows/main/desktop_id.h"
#include "windows/main/source_drop.h"
#include "shell/startup_trace.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// The command line, for the application that reads it.
struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Write a PNG of the window and exit."),
                                  QStringLiteral("file")};
    CommandLine()
    {
        // The manual page is made from this help: its first line names the program.
        parser.setApplicationDescription(QStringLiteral(
            "Drive recorder card viewer\n\n"
            "Lists the recordings of a car drive recorder's card by kind and time, plays the front\n"
            "and rear cameras together and shows the acceleration graph, the speed and the\n"
            "position on a map in step with the picture. Without a source, or when it does not\n"
            "exist, the viewer opens the card it finds or the source it remembers.\n"
            "The configuration file lives in ~/.config/ravir-viewer (the folder named by\n"
            "RAVIR_CONFIG_DIR instead, when that is set). --screenshot works without a display:\n"
            "the window is then rendered off screen."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(screenshot);
        parser.addPositionalArgument(
            QStringLiteral("source"),
            QStringLiteral("Card, folder or movie file (or file: URL) to open; one dropped on the window opens too."),
            QStringLiteral("[source]"));
    }
};

bool hasArgument(int argc, char** argv, std::initializer_list<const char*> names)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* name : names) {
            if (std::strcmp(argv[i], name) == 0 || (std::strncmp(argv[i], name, std::strlen(name)) == 0
                                                    && argv[i][std::strlen(name)] == '='))
                return true;
        }
    }
    return false;
}

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv)
{
    ravir::TraceStartup(ravir::StartupStep::MainEntered);
    // Help and version need no display.
    if (hasArgument(argc, argv, {"-h", "--help", "--help-all", "-v", "--version"})) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("ravir-viewer"));
        QCoreApplication::setApplicationVersion(QStringLiteral(RAVIR_VERSION));
        CommandLine line;
        line.parser.process(core);  // prints and exits
        return 0;
    }
    if (!haveDisplay()) {
        if (!hasArgument(argc, argv, {"--screenshot", "-screenshot"})) {
            std::fprintf(stderr, "ravir-viewer: no display to show the window on (DISPLAY and "
                                 "WAYLAND_DISPLAY are not set); --screenshot FILE renders it "
                                 "without one\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");  // the picture is rendered off screen
    }
    // The map (Qt WebEngine) shares the OpenGL contexts; set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ravir::TraceStartup(ravir::StartupStep::ApplicationMade);
    // The window class (X11) is the program's name, which the desktop file's StartupWMClass
    // names; the application id (Wayland) is the desktop file's id.
    QApplication::setApplicationName(QStringLiteral("ravir-viewer"));
    QApplication::setDesktopFileName(QString::fromLatin1(ravir::kDesktopId));
    QApplication::setApplicationVersion(QStringLiteral(RAVIR_VERSION));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ravir-viewer")));

    CommandLine line;
    QCommandLineParser& parser = line.parser;
    const QCommandLineOption& screenshot = line.screenshot;
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
    ravir::TraceStartup(ravir::StartupStep::WindowShown);

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
