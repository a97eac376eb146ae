// Fuzz target of the joined save: the bytes become a movie (through memfd) that is joined with
// itself by the whole save into a temporary folder. A damaged movie must be refused or joined
// without a read outside its payload, and every output the save reports as written is checked
// with ffprobe (which must be installed: its absence is a failure, not a skip): it must open
// unless ffprobe refuses the input itself (damage outside the sample tables, such as a codec
// configuration, that the join carries over unchanged). The telemetry holder's reader and writer
// get the same bytes.
#include "ffprobe_check.h"
#include "memory_file.h"

#include "container/movie_join.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::requireFfprobe("fuzz_join");
    const MemoryFile file{"fuzz_join", data, size};
    if (!file.ok())
        return 0;
    const QString path = file.path();
    {
        ravir::JoinRequest request;
        request.inputs = {{path, {}}, {path, {}}};
        request.outputPath = QString::fromStdString(fuzz::outputFolder("fuzz_join") + "/joined.MOV");
        request.neededBytes = 1;
        request.syncToDisk = false;
        const ravir::JoinResult result = ravir::SaveJoinedMovie(request);
        const std::string out = request.outputPath.toStdString();
        if (result.ok) {
            const int status = fuzz::ffprobe(out);
            // The input as ffprobe (another process) reaches it.
            const std::string input = "/proc/" + std::to_string(::getpid()) + path.toStdString().substr(10);
            if (status != 0 && fuzz::ffprobe(input) == 0) {
                std::fprintf(stderr, "fuzz_join: the join reported success but ffprobe fails on the output (%d)\n",
                             status);
                std::abort();
            }
        }
        ::unlink(out.c_str());
    }
    {
        ravir::TelemetryHolder holder;
        ravir::ReadTelemetryHolderBytes(data, size, holder);
        ravir::JoinTelemetry(holder, holder);
        (void)ravir::TelemetryFileBytes(holder);
    }
    return 0;
}
