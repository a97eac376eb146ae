// Commits one fault on request, so that the sanitizer build proves it is checking: the tests
// that run this expect the sanitizer's report, and fail when the fault goes unreported.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
void* volatile g_kept = nullptr;
}

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    volatile int one = argc > 1 ? 1 : 0;
    if (std::strcmp(mode, "overflow") == 0) {
        char* bytes = new char[8];
        bytes[7 + one] = 1;  // one past the end
        std::printf("%d\n", bytes[0]);
        delete[] bytes;
    } else if (std::strcmp(mode, "leak") == 0) {
        g_kept = std::malloc(64);
        std::memset(g_kept, 1, 64);
        g_kept = nullptr;
    } else if (std::strcmp(mode, "undefined") == 0) {
        volatile int big = INT_MAX;
        std::printf("%d\n", big + one);  // signed overflow
    } else {
        std::fprintf(stderr, "usage: sanitizer_canary overflow|leak|undefined\n");
        return 2;
    }
    return 0;
}
