#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>

namespace ravir::test {

// Runs the `ravir` program built with the tests; returns its exit code, stdout and stderr.
struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
RunResult runRavir(const QStringList& args, int timeoutMs = 120000);

// The folder for generated test data of this build tree (cards, movies); created on demand.
QString testDataDir();

}  // namespace ravir::test
