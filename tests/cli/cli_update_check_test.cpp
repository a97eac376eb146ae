// `ravir update-check` on the command line: base URLs that are no http(s) URL are usage errors,
// and Ctrl-C or SIGTERM ends a check that waits on a silent host at once.
#include "test_support.h"

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <csignal>

namespace ravir {
namespace {

using test::runRavir;

TEST(CliUpdateCheck, ABaseUrlThatIsNoHttpUrlIsAUsageError)
{
    for (const char* url : {"ftp://example.com", "file:///etc/passwd", "example.com", "http://",
                            "", "javascript:alert(1)"}) {
        const auto r = runRavir({"update-check", "--base-url", url, "--recorder-version", "1.2.3",
                                 "--gps-version", "", "--timeout-ms", "500"});
        EXPECT_EQ(r.exitCode, 2) << url;
        EXPECT_TRUE(r.out.isEmpty()) << url;
        EXPECT_TRUE(r.err.contains("http or https")) << url << ": " << r.err.constData();
    }
}

// A loopback host that accepts the connection and never answers: only the signal can end the
// check before its (long) time limits.
TEST(CliUpdateCheck, SignalEndsAWaitingCheckCleanly)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QProcess ravir;
        ravir.start(QStringLiteral(RAVIR_EXE),
                    {"update-check", "--base-url",
                     QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()),
                     "--recorder-version", "1.2.3", "--gps-version", "231015", "--timeout-ms",
                     "120000", "--total-timeout-ms", "120000"});
        ASSERT_TRUE(ravir.waitForStarted(10000));
        // Connected: the command is inside the check, its handlers long installed.
        ASSERT_TRUE(server.waitForNewConnection(30000));
        QTcpSocket* peer = server.nextPendingConnection();
        ASSERT_NE(peer, nullptr);
        peer->waitForReadyRead(5000);  // the request arrives; no answer is ever sent
        ::kill(static_cast<pid_t>(ravir.processId()), signal);
        const bool ended = ravir.waitForFinished(30000);
        if (!ended)
            ravir.kill();
        ASSERT_TRUE(ended) << "signal " << signal << " did not end the check";
        EXPECT_EQ(ravir.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(ravir.exitCode(), 128 + signal);
        EXPECT_TRUE(ravir.readAllStandardOutput().isEmpty());
    }
}

}  // namespace
}  // namespace ravir
