#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace ravir::test {

RunResult runRavir(const QStringList& args, int timeoutMs)
{
    RunResult result;
    QProcess process;
    process.start(QStringLiteral(RAVIR_EXE), args);
    if (!process.waitForStarted(10000))
        return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

::testing::AssertionResult havePrograms(std::initializer_list<const char*> names)
{
    QStringList missing;
    for (const char* name : names) {
        if (QStandardPaths::findExecutable(QString::fromUtf8(name)).isEmpty())
            missing << QString::fromUtf8(name);
    }
    if (missing.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "not installed: " << qPrintable(missing.join(", "))
           << " (scripts/setup installs every program the tests need)";
}

QString testDataDir()
{
    const QString dir = QStringLiteral(RAVIR_TEST_DATA_DIR);
    QDir().mkpath(dir);
    return dir;
}

}  // namespace ravir::test
