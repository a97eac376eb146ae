// `ravir still` and `ravir report` in `ravir`: the process becomes `ravir-decode`, the program
// that holds the decoding commands (decoding_commands.h), with the same arguments byte for byte.
// An installation keeps it in the private program folder (RAVIR_DECODE_RELATIVE_DIR from the
// folder of `ravir`, e.g. ../libexec/ravir); a build tree has it beside `ravir`. execv keeps the process, its standard streams, its environment and its parent,
// so the command's output, exit code and handling of Ctrl-C, SIGTERM and SIGHUP are those of the
// command itself. Only when `ravir-decode` cannot be started does `ravir` answer (exit code 1).
#include "cli/command.h"
#include "cli/decoding_commands.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace ravir::cli {
namespace {

int handOff(const QString& name)
{
    // The folders of the running program itself (symbolic links to it resolved), not of PATH.
    const QString dir = QCoreApplication::applicationDirPath();
    QString program = dir + QStringLiteral("/" RAVIR_DECODE_RELATIVE_DIR "/ravir-decode");
    if (!QFile::exists(program))
        program = dir + QStringLiteral("/ravir-decode");
    QByteArray path = QFile::encodeName(program);
    std::vector<char*> argv = programArguments();
    argv.at(0) = path.data();
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    ::execv(path.constData(), argv.data());
    const int error = errno;
    if (error == ENOENT)
        return failure(QStringLiteral("%1 needs %2, which is not installed")
                           .arg(name, program));
    return failure(QStringLiteral("%1 needs %2, which cannot be started: %3")
                       .arg(name, program, QString::fromLocal8Bit(std::strerror(error))));
}

const struct Registrations {
    Registrations()
    {
        for (const QString& name : DecodingCommandNames()) {
            const CommandRegistration added(
                DecodingCommand(name, [name](const QStringList&) { return handOff(name); }));
        }
    }
} registrations;

}  // namespace
}  // namespace ravir::cli
