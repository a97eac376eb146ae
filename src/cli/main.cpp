// `ravir`: the viewer's core for scripts and batch work. Every subcommand prints JSON on stdout
// unless it writes a file; errors go to stderr with a non-zero exit code. `ravir-decode`, which
// runs the commands that decode pictures (decoding_commands.h), has the same main().
#include "cli/command.h"
#include "shell/config_folder.h"
#include "shell/display_prefs.h"
#include "shell/ini_file.h"
#include "shell/ui_text.h"

#include <QFileInfo>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>

namespace ravir::cli {
namespace {
std::vector<Command>& registry()
{
    static std::vector<Command> list;
    return list;
}

std::vector<char*>& arguments()
{
    static std::vector<char*> list;
    return list;
}

void printHelp(std::FILE* stream)
{
    QString help = "ravir " RAVIR_VERSION " - drive recorder card tools\n\n"
                   "Usage: ravir COMMAND [ARGS...]\n"
                   "       ravir help COMMAND   more about one command\n\n"
                   "Commands:\n";
    auto sorted = registry();
    std::sort(sorted.begin(), sorted.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const Command& c : sorted)
        help += "  " + c.name + ' ' + c.usage + "\n      " + c.summary + '\n';
    help += "\nEvery command prints JSON on stdout unless it writes a file; errors are printed on\n"
            "stderr and the exit code is not 0 (2 for a usage error, 128 + the signal number when\n"
            "Ctrl-C or SIGTERM stopped it). Messages are in Japanese under a Japanese locale and\n"
            "in English otherwise; [DISPLAY] LANGUAGE=ja or en in the viewer's configuration file\n"
            "overrides the locale.\n";
    const QByteArray bytes = help.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : registry()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

int unknownCommand(const QString& name)
{
    std::fprintf(stderr, "ravir: unknown command '%s' (see ravir --help)\n", qPrintable(name));
    return 2;
}

// `ravir help [COMMAND]`: the list of commands, or one command's usage and details.
int runHelp(const QStringList& args)
{
    if (args.isEmpty()) {
        printHelp(stdout);
        return 0;
    }
    if (args.size() > 1) {
        std::fprintf(stderr, "ravir help: expects at most one command name\nusage: ravir help [COMMAND]\n");
        return 2;
    }
    const Command* c = findCommand(args.front());
    if (c == nullptr)
        return unknownCommand(args.front());
    std::printf("ravir %s %s\n    %s\n%s%s", qPrintable(c->name), qPrintable(c->usage),
                qPrintable(c->summary), c->details.isEmpty() ? "" : "\n", qPrintable(c->details));
    return 0;
}
}  // namespace

const std::vector<Command>& commands() { return registry(); }

const std::vector<char*>& programArguments() { return arguments(); }

CommandRegistration::CommandRegistration(Command command)
{
    registry().push_back(std::move(command));
}

int usageError(const QString& commandName, const QString& message)
{
    for (const Command& c : registry()) {
        if (c.name == commandName) {
            std::fprintf(stderr, "ravir %s: %s\nusage: ravir %s %s\n", qPrintable(commandName),
                         qPrintable(message), qPrintable(c.name), qPrintable(c.usage));
            return 2;
        }
    }
    std::fprintf(stderr, "ravir: %s\n", qPrintable(message));
    return 2;
}

int failure(const QString& message)
{
    std::fprintf(stderr, "ravir: %s\n", qPrintable(message));
    return 1;
}

void printJson(const QJsonObject& object)
{
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

std::optional<FrameArgs> parseFrameArgs(const QString& commandName, const QStringList& args,
                                        const QString& targetOption, int& exitCode)
{
    const ParsedArgs parsed = parseArgs(args, {QStringLiteral("--frame"), targetOption});
    if (!parsed.error.isEmpty()) {
        exitCode = usageError(commandName, parsed.error);
        return std::nullopt;
    }
    if (parsed.positional.size() != 1) {
        exitCode = usageError(commandName, QStringLiteral("expects one movie file"));
        return std::nullopt;
    }
    if (!parsed.has(QStringLiteral("--frame")) || !parsed.has(targetOption)) {
        exitCode = usageError(commandName, QStringLiteral("--frame and %1 are required").arg(targetOption));
        return std::nullopt;
    }
    FrameArgs out;
    const std::optional<int> frame = parseCount(parsed.value(QStringLiteral("--frame")));
    if (!frame) {
        exitCode = usageError(commandName, QStringLiteral("--frame must be a frame number: digits "
                                                          "only, 0 or more"));
        return std::nullopt;
    }
    out.frame = *frame;
    out.movie = parsed.positional.front();
    out.target = parsed.value(targetOption);
    if (!QFileInfo(out.movie).isFile()) {
        exitCode = failure(QStringLiteral("%1: no such file").arg(out.movie));
        return std::nullopt;
    }
    return out;
}

std::optional<int> parseCount(const QString& text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    long long value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

ParsedArgs parseArgs(const QStringList& args, const QStringList& valueOptions,
                     const QStringList& flagOptions)
{
    ParsedArgs parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith("--") || a == "--") {
            parsed.positional << a;
            continue;
        }
        QString name = a;
        QString inlineValue;
        const qsizetype eq = a.indexOf('=');
        if (eq > 0) {
            name = a.left(eq);
            inlineValue = a.mid(eq + 1);
        }
        if (valueOptions.contains(name)) {
            if (parsed.options.contains(name)) {
                parsed.error = QString("%1 is given more than once").arg(name);
                return parsed;
            }
            if (eq > 0) {
                parsed.options[name] = inlineValue;
            } else if (i + 1 < args.size()) {
                parsed.options[name] = args[++i];
            } else {
                parsed.error = QString("%1 needs a value").arg(name);
                return parsed;
            }
        } else if (flagOptions.contains(name) && eq < 0) {
            parsed.flags << name;
        } else {
            parsed.error = QString("unknown option %1").arg(a);
            return parsed;
        }
    }
    return parsed;
}

}  // namespace ravir::cli

int main(int argc, char** argv)
{
    ravir::cli::arguments().assign(argv, argv + argc);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ravir");
    QCoreApplication::setApplicationVersion(RAVIR_VERSION);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    using namespace ravir::cli;
    // Messages follow the locale (Japanese under a Japanese locale, English otherwise) unless
    // the viewer's configuration file names a language ([DISPLAY] LANGUAGE).
    const QString configFolder = ravir::ViewerConfigFolderPath();
    ravir::setMessageLanguage(ravir::ConfiguredLanguage(
        configFolder.isEmpty() ? QString()
                               : configFolder + u'/' + QLatin1String(ravir::kConfigFileName)));
    if (args.isEmpty()) {
        // No command is a usage error: the help goes where errors go.
        printHelp(stderr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        printHelp(stdout);
        return 0;
    }
    if (args[0] == "--version") {
        std::printf("ravir %s\n", RAVIR_VERSION);
        return 0;
    }
    const QString name = args.takeFirst();
    if (name == "help")
        return runHelp(args);
    if (const Command* c = findCommand(name)) {
        // No exception leaves a command: one that escapes it (memory exhausted by a hostile
        // input, a library that throws) ends the command with a clear message and exit code 1.
        try {
            return c->run(args);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "ravir %s: not enough memory; the command was stopped\n",
                         qPrintable(name));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "ravir %s: stopped by an unexpected error: %s\n",
                         qPrintable(name), e.what());
        } catch (...) {
            std::fprintf(stderr, "ravir %s: stopped by an unexpected error\n", qPrintable(name));
        }
        return 1;
    }
    return unknownCommand(name);
}
