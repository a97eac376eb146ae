// Fuzz target of the joined save: the bytes become a movie (through memfd) that is joined with
// itself by the whole save into a temporary folder. A damaged movie must be refused or joined
// without a read outside its payload, and every output the save reports as written is checked
// with ffprobe (which must be installed: its absence is a failure, not a skip): it must open
// unless ffprobe refuses the input itself (damage outside the sample tables, such as a codec
// configuration, that the join carries over unchanged). The telemetry holder's reader and writer
// get the same bytes.
#include "memory_file.h"

#include "container/movie_join.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A folder of this process for the outputs, removed at exit.
const std::string& outputFolder()
{
    static const std::string folder = [] {
        char name[] = "/tmp/fuzz_join-XXXXXX";
        if (!::mkdtemp(name)) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::string made = name;
        static std::string removeAtExit;
        removeAtExit = made;
        std::atexit([] { ::rmdir(removeAtExit.c_str()); });
        return made;
    }();
    return folder;
}

// ffprobe's exit status for the file (127 when it cannot be run).
int ffprobe(const std::string& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"ffprobe", "-v", "error", "-show_streams", path.c_str(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "ffprobe", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return 127;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void requireFfprobe()
{
    static const bool present = ffprobe("/dev/null") != 127;
    if (!present) {
        std::fprintf(stderr, "fuzz_join: ffprobe is not installed; it checks every joined output\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    requireFfprobe();
    const MemoryFile file{"fuzz_join", data, size};
    if (!file.ok())
        return 0;
    const QString path = file.path();
    {
        ravir::JoinRequest request;
        request.inputs = {{path, {}}, {path, {}}};
        request.outputPath = QString::fromStdString(outputFolder() + "/joined.MOV");
        request.neededBytes = 1;
        request.syncToDisk = false;
        const ravir::JoinResult result = ravir::SaveJoinedMovie(request);
        const std::string out = request.outputPath.toStdString();
        if (result.ok) {
            const int status = ffprobe(out);
            // The input as ffprobe (another process) reaches it.
            const std::string input = "/proc/" + std::to_string(::getpid()) + path.toStdString().substr(10);
            if (status != 0 && ffprobe(input) == 0) {
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
