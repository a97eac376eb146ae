#pragma once
// The subcommands of `ravir`. Each subcommand lives in its own file and registers itself with a
// static CommandRegistration, so adding a command touches no other file.
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace ravir::cli {

struct Command {
    QString name;
    QString usage;    // arguments after the name, e.g. "MOVIE [--format json|gpx|csv]"
    QString summary;  // one line for `ravir --help`
    QString details;  // further lines for `ravir help NAME` (fields printed, options)
    std::function<int(const QStringList& args)> run;  // args exclude the command name
};

const std::vector<Command>& commands();

// The program's arguments as main() received them, argv[0] first and the command name second:
// for handing the command line on to another program byte for byte.
const std::vector<char*>& programArguments();

struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

// Small helpers shared by the subcommands.
int usageError(const QString& commandName, const QString& message);  // prints to stderr, 2
int failure(const QString& message);                                  // prints to stderr, 1
void printJson(const QJsonObject& object);                            // indented, on stdout

// Parses "--name value" options out of args; positional arguments stay in order.
struct ParsedArgs {
    QStringList positional;
    QMap<QString, QString> options;  // "--frames" -> "120"
    QStringList flags;               // options without a value, e.g. "--demo"
    QString error;
    bool has(const QString& option) const { return options.contains(option) || flags.contains(option); }
    QString value(const QString& option, const QString& fallback = {}) const
    { return options.value(option, fallback); }
};
// A count or frame number written as plain decimal digits (no sign, no spaces, at most the
// largest int); empty otherwise.
std::optional<int> parseCount(const QString& text);

// An option that takes a value may be given once; a second one is an error.
// valueOptions are the options that take a value; anything else starting with "--" is a flag
// if listed in flagOptions, and an error otherwise.
ParsedArgs parseArgs(const QStringList& args, const QStringList& valueOptions,
                     const QStringList& flagOptions = {});

// "MOVIE --frame N --<target> T", the arguments of the commands that work on one frame of a
// movie. On a usage error or a movie that is no file, the message is printed and exitCode set;
// the result is then empty.
struct FrameArgs {
    QString movie;
    int frame = 0;
    QString target;
};
std::optional<FrameArgs> parseFrameArgs(const QString& commandName, const QStringList& args,
                                        const QString& targetOption, int& exitCode);

}  // namespace ravir::cli
