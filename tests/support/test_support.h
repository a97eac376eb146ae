#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <initializer_list>

// RAVIR_TEST_UNDER_ASAN is 1 in the AddressSanitizer build (GCC and Clang say so differently),
// where the program runs at a fraction of its speed.
#if defined(__SANITIZE_ADDRESS__)
#define RAVIR_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAVIR_TEST_UNDER_ASAN 1
#endif
#endif
#ifndef RAVIR_TEST_UNDER_ASAN
#define RAVIR_TEST_UNDER_ASAN 0
#endif

namespace ravir::test {

// Runs the `ravir` program built with the tests; returns its exit code, stdout and stderr.
struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
RunResult runRavir(const QStringList& args, int timeoutMs = 120000);

// Whether the programs a test uses as peers (ffmpeg, ffprobe, ...) are installed. scripts/setup
// installs every one of them, so a missing one fails the test rather than skipping it:
//   ASSERT_TRUE(havePrograms({"ffmpeg", "ffprobe"}));
::testing::AssertionResult havePrograms(std::initializer_list<const char*> names);

// The folder for generated test data of this build tree (cards, movies); created on demand.
QString testDataDir();

}  // namespace ravir::test
