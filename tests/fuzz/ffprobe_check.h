#pragma once
// What the fuzz targets that write movies share: a folder of the process for their outputs,
// and ffprobe, which checks every output they report as written (it must be installed: its
// absence is a failure, not a skip).
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fuzz {

// A folder of this process for the outputs (/tmp/TARGET-XXXXXX), removed at exit.
inline const std::string& outputFolder(const char* target)
{
    static const std::string folder = [target] {
        std::string pattern = std::string("/tmp/") + target + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] { ::rmdir(removeAtExit.c_str()); });
        return pattern;
    }();
    return folder;
}

// ffprobe's exit status for the file (127 when it cannot be run).
inline int ffprobe(const std::string& path)
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

// Ends the process when ffprobe cannot be run.
inline void requireFfprobe(const char* target)
{
    static const bool present = ffprobe("/dev/null") != 127;
    if (!present) {
        std::fprintf(stderr, "%s: ffprobe is not installed; it checks every output\n", target);
        std::abort();
    }
}

}  // namespace fuzz
