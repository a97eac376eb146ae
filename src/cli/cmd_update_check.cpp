// `ravir update-check`: the viewer's update check against a given host, for scripts and tests.
#include "cli/command.h"
#include "cli/stop_signal.h"

#include "update/update_check.h"

#include <atomic>
#include <cstdio>

namespace ravir::cli {
namespace {

int runUpdateCheck(const QStringList& args)
{
    const ParsedArgs parsed =
        parseArgs(args, {"--base-url", "--recorder-version", "--gps-version", "--download-key",
                         "--viewer-version", "--timeout-ms", "--total-timeout-ms"});
    if (!parsed.error.isEmpty())
        return usageError("update-check", parsed.error);
    if (!parsed.positional.isEmpty())
        return usageError("update-check", "unexpected argument " + parsed.positional.first());
    if (!parsed.has("--base-url"))
        return usageError("update-check", "--base-url is required");
    if (!update::hostUrl(parsed.value("--base-url"), "/").isValid())
        return usageError("update-check",
                          QString("--base-url must be an http or https URL with a host, not '%1'")
                              .arg(parsed.value("--base-url")));

    update::UpdateInputs inputs;
    inputs.recorderVersion = parsed.value("--recorder-version");
    inputs.gpsVersion = parsed.value("--gps-version");
    inputs.downloadKey = parsed.value("--download-key");
    inputs.viewerVersion = parsed.value("--viewer-version");
    HttpLimits limits;
    for (const auto& [option, target] : {std::pair{"--timeout-ms", &limits.idleTimeoutMs},
                                         std::pair{"--total-timeout-ms", &limits.totalTimeoutMs}}) {
        if (!parsed.has(option))
            continue;
        bool ok = false;
        const int ms = parsed.value(option).toInt(&ok);
        if (!ok || ms <= 0)
            return usageError("update-check", QString("%1 needs a positive number").arg(option));
        *target = ms;
    }

    // Ctrl-C or SIGTERM ends the check at once, with no text.
    std::atomic<bool> stop{false};
    const StopSignals stopSignals(&stop);
    const update::CheckResult result =
        update::runUpdateCheck(parsed.value("--base-url"), inputs, limits, &stop);
    if (stop.load())
        return StopSignals::exitCode();
    for (const QString& note : result.notes)
        std::fprintf(stderr, "ravir update-check: %s\n", qPrintable(note));
    if (!result.text.isEmpty()) {
        const QByteArray bytes = result.text.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return 0;
}

const CommandRegistration registration{Command{
    "update-check",
    "--base-url URL --recorder-version V --gps-version G [--download-key K]",
    "checks the maker's host for newer recorder firmware, viewer and GPS data",
    "Prints the update text the viewer would show (UTF-8, CR LF line breaks, links as\n"
    "<a href=\"...\">...</a>), or nothing when there is no update. Not JSON: the text is the\n"
    "result. The exit code is 0 in both cases; network failures give no text and a note on\n"
    "stderr. A base URL that is not http or https is a usage error (exit code 2).\n"
    "  --base-url URL          the maker's host (http or https), e.g. http://example.com\n"
    "  --recorder-version V    the card's firmware version, \"1.2.3\"; empty: no recorder block\n"
    "  --gps-version G         the card's GPS data version, \"231015\"; empty: no GPS check\n"
    "  --download-key K        \"ZU590-MVS_download\" when the card holds that shortcut;\n"
    "                          otherwise the recorder check is skipped\n"
    "  --viewer-version V      the viewer version to compare (default: this build's)\n"
    "  --timeout-ms N          give a request up after N ms without data (default 5000)\n"
    "  --total-timeout-ms N    give a request up after N ms in all (default 15000)\n",
    runUpdateCheck}};

}  // namespace
}  // namespace ravir::cli
