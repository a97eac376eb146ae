#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <initializer_list>

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
