// Runs a fuzz target over every file below the given folders (or the given files), so that the
// inputs that once crashed a parser stay tested in every build, the sanitizer build included.
// A path that does not exist or a file that cannot be read is an error: a replay that silently
// replays nothing proves nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replayFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot open %s\n", path.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    size_t count = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const fs::path root = argv[i];
        if (fs::is_regular_file(root, ec)) {
            ok = replayFile(root) && ok;
            count++;
            continue;
        }
        if (!fs::is_directory(root, ec)) {
            std::fprintf(stderr, "replay: %s is neither a folder nor a file\n", argv[i]);
            ok = false;
            continue;
        }
        std::vector<fs::path> files;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec))
                files.push_back(it->path());
        }
        if (ec) {
            std::fprintf(stderr, "replay: cannot list %s: %s\n", argv[i], ec.message().c_str());
            ok = false;
        }
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            ok = replayFile(f) && ok;
            count++;
        }
    }
    // An empty input must be handled too.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("replayed %zu inputs and the empty input\n", count);
    return ok ? 0 : 1;
}
