// The update check against a small HTTP server on 127.0.0.1 that this test starts itself
// (tests/update/update_server.py): the check sequence and its text, a hostile server, the
// worker object and the command line.
#include "shell/ini_file.h"
#include "shell/ui_text.h"
#include "test_support.h"
#include "update/http_session.h"
#include "update/inet_connection_async.h"
#include "update/update_check.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <mutex>

namespace ravir::update {
namespace {

void ensureApp()
{
    static int argc = 1;
    static char name[] = "test_update";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    qputenv("no_proxy", "127.0.0.1,localhost");
}

// Short limits, so that the hostile cases end quickly.
HttpLimits fastLimits()
{
    HttpLimits limits;
    limits.idleTimeoutMs = 1000;
    limits.totalTimeoutMs = 3000;
    limits.maxBodyBytes = 256 * 1024;
    limits.maxRedirects = 3;
    return limits;
}

// The update text written out from its three formats, for comparison.
QString fmt(QString format, const QStringList& args)
{
    for (const QString& a : args)
        format.replace(format.indexOf("%s"), 2, a);
    return format;
}

QString block(const QString& name, const QString& cur, const QString& next, const QString& url)
{
    return fmt("%s:\r\n%s%s   \u2192   %s%s\r\n\r\nURL : <a href=\"%s\">%s</a>",
               {name, text(TXT_CURRENT_VERSION), cur, text(TXT_UPDATE_VERSION), next, url, url});
}

class UpdateServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        ASSERT_TRUE(dir_.isValid());
        config_ = dir_.filePath("routes.json");
        routes_ = QJsonObject();
        writeRoutes();
        server_.setProgram("python3");
        server_.setArguments({QStringLiteral(RAVIR_SOURCE_DIR "/tests/update/update_server.py"),
                              config_});
        server_.start();
        ASSERT_TRUE(server_.waitForStarted(5000));
        QElapsedTimer t;
        t.start();
        while (!server_.canReadLine() && t.elapsed() < 10000)
            server_.waitForReadyRead(200);
        const int port = server_.readLine().trimmed().toInt();
        ASSERT_GT(port, 0) << server_.readAllStandardError().toStdString();
        base_ = QString("http://127.0.0.1:%1").arg(port);
    }
    void TearDown() override
    {
        server_.kill();
        server_.waitForFinished(5000);
    }

    void route(const QString& path, QJsonObject answer)
    {
        routes_[path] = answer;
        writeRoutes();
    }
    void body(const QString& path, const QByteArray& bytes)
    {
        route(path, {{"body_hex", QString::fromLatin1(bytes.toHex())}});
    }
    void writeRoutes()
    {
        QFile f(config_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QJsonDocument(routes_).toJson());
    }
    QStringList requested()
    {
        HttpSession session(fastLimits());
        const HttpResponse r = session.get(QUrl(base_ + "/__requests"));
        return QString::fromLatin1(r.body).split(u'\n', Qt::SkipEmptyParts);
    }
    // The usual answers: recorder and viewer CSV and GPS text.
    void serve(const QByteArray& recorder, const QByteArray& viewer, const QByteArray& gps)
    {
        body(kRecorderCsvPath, recorder);
        body(kViewerCsvPath, viewer);
        body(kGpsTextPath, gps);
    }
    CheckResult check(const QString& recorderVersion, const QString& gps,
                      const QString& key = kDownloadKey)
    {
        return runUpdateCheck(base_, {recorderVersion, gps, key, QString()}, fastLimits());
    }

    QTemporaryDir dir_;
    QString config_;
    QJsonObject routes_;
    QProcess server_;
    QString base_;
};

const QByteArray kViewerSame = "Rovazizarad,1.0.0,http://v.example/dl\n";

TEST_F(UpdateServer, RecorderVersionIsComparedAsText)
{
    serve("HEAD,x,x,x\nZU590-MVS,x,1.2.3,http://r.example/fw\n", kViewerSame, "231015");
    EXPECT_TRUE(check("1.2.3", "").text.isEmpty());
    EXPECT_TRUE(check("1.2.3.9", "").text.isEmpty());  // cut before its third '.'

    const QString expected =
        fmt("%s\r\n\r\n", {text(TXT_UPDATE_AVAILABLE)}) +
        block(text(TXT_RECORDER_UNIT), "1.2.3", "1.2.4", "http://r.example/fw");
    serve("ZU590-MVS,x,1.2.4,http://r.example/fw\n", kViewerSame, "231015");
    EXPECT_EQ(check("1.2.3", "").text, expected);
    serve("ZU590-MVS,x,1.2,http://r.example/fw\n", kViewerSame, "231015");
    EXPECT_TRUE(check("1.2.3", "").text.contains("1.2.3   \u2192   "));
    EXPECT_FALSE(check("1.2.3", "").text.isEmpty());
    // No current recorder version: nothing to compare.
    EXPECT_TRUE(check("", "").text.isEmpty());
    // The row's URL replaces the maker's page; without a row there is no update.
    serve("OTHER,x,9.9.9,http://o/\n", kViewerSame, "231015");
    EXPECT_TRUE(check("1.2.3", "").text.isEmpty());
    // The last matching row wins.
    serve("ZU590-MVS,x,2.0.0,http://a/\nZU590-MVS,x,1.2.3,http://b/\n", kViewerSame, "");
    EXPECT_TRUE(check("1.2.3", "").text.isEmpty());
    // An empty URL column keeps the maker's page.
    serve("ZU590-MVS,x,2.0.0,\n", kViewerSame, "");
    EXPECT_TRUE(check("1.2.3", "").text.contains(base_ + kRecorderPagePath));
}

TEST_F(UpdateServer, ALastLineWithoutLfIsNeverExamined)
{
    serve("ZU590-MVS,x,1.2.3,http://r/\nZU590-MVS,x,9.9.9,http://r/", kViewerSame, "");
    EXPECT_TRUE(check("1.2.3", "").text.isEmpty());
    serve("ZU590-MVS,x,1.2.3,http://r/\r\nZU590-MVS,x,9.9.9,http://r/\r\n", kViewerSame, "");
    EXPECT_FALSE(check("1.2.3", "").text.isEmpty());
}

TEST_F(UpdateServer, WithoutTheDownloadKeyTheRecorderIsNotAsked)
{
    serve("ZU590-MVS,x,9.9.9,http://r/\n", kViewerSame, "231015");
    EXPECT_TRUE(check("1.2.3", "", "").text.isEmpty());
    EXPECT_TRUE(check("1.2.3", "", "OTHER_download").text.isEmpty());
    EXPECT_FALSE(requested().contains(kRecorderCsvPath));
    EXPECT_TRUE(requested().contains(kViewerCsvPath));
}

TEST_F(UpdateServer, ViewerBlockOnlyForAnotherVersion)
{
    serve("", kViewerSame, "");
    EXPECT_TRUE(check("", "").text.isEmpty());
    serve("", "X,9\nRovazizarad,1.1.0,https://v.example/get\n", "");
    EXPECT_EQ(check("", "").text,
              fmt("%s\r\n\r\n", {text(TXT_UPDATE_AVAILABLE)}) +
                  block(text(TXT_VIEWER_SOFTWARE), "1.0.0", "1.1.0", "https://v.example/get"));
}

TEST_F(UpdateServer, RecorderAndGpsWithoutViewerGiveTwoBlocksRecorderFirst)
{
    serve("ZU590-MVS,x,1.3.0,http://r.example/fw\n", kViewerSame, "240301\r\n");
    const QString gpsUrl = base_ + kGpsPagePath;
    const QString two =
        fmt("%s\r\n\r\n%s:\r\n%s%s   \u2192   %s%s\r\n\r\nURL : <a href=\"%s\">%s</a>\r\n\r\n\r\n"
            "%s:\r\n%s%s   \u2192   %s%s\r\n\r\nURL : <a href=\"%s\">%s</a>\r\n",
            {text(TXT_UPDATE_AVAILABLE), text(TXT_RECORDER_UNIT), text(TXT_CURRENT_VERSION),
             "1.2.3", text(TXT_UPDATE_VERSION), "1.3.0", "http://r.example/fw",
             "http://r.example/fw", text(TXT_GPS_DATA_INFO), text(TXT_CURRENT_VERSION),
             "23/10/15", text(TXT_UPDATE_VERSION), "24/03/01", gpsUrl, gpsUrl});
    EXPECT_EQ(check("1.2.3", "231015").text, two);

    // All three: recorder, viewer, GPS data, and a final line break.
    serve("ZU590-MVS,x,1.3.0,http://r.example/fw\n", "Rovazizarad,2.0.0,http://v.example/\n",
          "240301");
    const QString three = check("1.2.3", "231015").text;
    EXPECT_EQ(three, fmt("%s\r\n\r\n", {text(TXT_UPDATE_AVAILABLE)}) +
                         block(text(TXT_RECORDER_UNIT), "1.2.3", "1.3.0", "http://r.example/fw") +
                         "\r\n\r\n\r\n" +
                         block(text(TXT_VIEWER_SOFTWARE), "1.0.0", "2.0.0", "http://v.example/") +
                         "\r\n\r\n\r\n" +
                         block(text(TXT_GPS_DATA_INFO), "23/10/15", "24/03/01", gpsUrl) + "\r\n");
    // The same GPS version (with a line break after it on the server) is no update.
    serve("", kViewerSame, "231015\n");
    EXPECT_TRUE(check("1.2.3", "231015").text.isEmpty());
}

TEST_F(UpdateServer, AFailedGpsDownloadEndsTheCheckWithoutText)
{
    body(kRecorderCsvPath, "ZU590-MVS,x,9.9.9,http://r/\n");
    body(kViewerCsvPath, "Rovazizarad,2.0.0,http://v/\n");
    // No GPS file on the server (404): nothing at all is reported.
    EXPECT_TRUE(check("1.2.3", "231015").text.isEmpty());
    // Without a GPS version the GPS text is not fetched and the other blocks stay.
    EXPECT_FALSE(check("1.2.3", "").text.isEmpty());
    // An error page is not a version: a 404 page with a body and a 500 are failures too.
    route(kGpsTextPath, {{"status", 500}, {"body", "240101"}});
    EXPECT_TRUE(check("1.2.3", "231015").text.isEmpty());
}

// An empty GPS text is "no GPS data update", not a failure: the recorder and viewer blocks stay.
TEST_F(UpdateServer, AnEmptyGpsTextKeepsTheOtherBlocks)
{
    const QString recorderAndViewer =
        fmt("%s\r\n\r\n", {text(TXT_UPDATE_AVAILABLE)}) +
        block(text(TXT_RECORDER_UNIT), "1.2.3", "9.9.9", "http://r/") + "\r\n\r\n\r\n" +
        block(text(TXT_VIEWER_SOFTWARE), "1.0.0", "2.0.0", "http://v/") + "\r\n";
    for (const QByteArray& gps : {QByteArray(), QByteArray("\r\n"), QByteArray("   \n")}) {
        serve("ZU590-MVS,x,9.9.9,http://r/\n", "Rovazizarad,2.0.0,http://v/\n", gps);
        const CheckResult r = check("1.2.3", "231015");
        EXPECT_EQ(r.text, recorderAndViewer) << gps.toHex().toStdString();
        EXPECT_TRUE(requested().contains(kGpsTextPath));
    }
    // Nothing else new: no text at all.
    serve("", kViewerSame, "");
    EXPECT_TRUE(check("1.2.3", "231015").text.isEmpty());
}

TEST_F(UpdateServer, NoServerOrNoHostGivesNoTextAndNoError)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString closed = QString("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    const CheckResult r =
        runUpdateCheck(closed, {"1.2.3", "231015", kDownloadKey, QString()}, fastLimits());
    EXPECT_TRUE(r.text.isEmpty());
    EXPECT_TRUE(r.items.empty());
    for (const QString& host : {QString(), QString("  "), QString("ftp://127.0.0.1/"),
                                QString("javascript:alert(1)")}) {
        EXPECT_TRUE(runUpdateCheck(host, {"1.2.3", "231015", kDownloadKey, QString()},
                                   fastLimits()).text.isEmpty());
    }
    EXPECT_TRUE(requested().isEmpty());
}

TEST_F(UpdateServer, HostileServerNeverHangsTheCheck)
{
    QElapsedTimer t;
    // A connection that never answers; a body that stops half way (closed, or left open).
    for (const char* mode : {"hang", "half", "stall"}) {
        route(kViewerCsvPath, {{"mode", mode}, {"body", "Rovazizarad,2.0.0,http://v/\n" +
                                                            QString(200, u'x') + "\n"}});
        t.start();
        const CheckResult r = check("", "");
        EXPECT_TRUE(r.text.isEmpty()) << mode;
        // Bounded by the limits (1 s without data, 3 s in all), with room for a slow machine.
        EXPECT_LT(t.elapsed(), 20000) << mode;
    }
    // One byte a second: the total limit ends it.
    route(kViewerCsvPath, {{"mode", "drip"}, {"body", "Rovazizarad,2.0.0,http://v/\n"}});
    t.start();
    EXPECT_TRUE(check("", "").text.isEmpty());
    EXPECT_LT(t.elapsed(), 20000);

    // A 50 MB body is cut after its first 256 KB, which still holds the recorder's rows.
    route(kRecorderCsvPath, {{"mode", "big"}, {"size", 50 * 1024 * 1024}});
    body(kViewerCsvPath, kViewerSame);
    HttpSession session(fastLimits());
    const HttpResponse big = session.get(QUrl(base_ + kRecorderCsvPath));
    EXPECT_TRUE(big.ok);
    EXPECT_TRUE(big.truncated);
    EXPECT_EQ(big.body.size(), 256 * 1024);
    const QString text = check("1.2.3", "").text;
    EXPECT_TRUE(text.contains("9.9.9"));
    EXPECT_TRUE(text.contains("<a href=\"http://a/\">http://a/</a>"));
    // A GPS text that is cut is no version.
    route(kGpsTextPath, {{"mode", "big"}, {"size", 1024 * 1024}});
    EXPECT_TRUE(check("1.2.3", "231015").text.isEmpty());
}

TEST_F(UpdateServer, NonAsciiBytesAndUnsafeUrlsNeverReachTheTextRaw)
{
    body(kRecorderCsvPath, "ZU590-MVS,x,\xE3\x81\x82<b>1.9\xFF,javascript:alert(document.cookie)\n");
    body(kViewerCsvPath, "Rovazizarad,2.0.0,http://v.example/a b\"onmouseover=\"x\n");
    body(kGpsTextPath, "2403\xC3\xA9");
    const QString t = check("1.2.3", "231015").text;
    ASSERT_FALSE(t.isEmpty());
    for (QChar c : t) {
        // Only our own texts bring characters beyond ASCII.
        if (c.unicode() > 0x7E) {
            EXPECT_TRUE(text(TXT_UPDATE_AVAILABLE).contains(c) ||
                        text(TXT_RECORDER_UNIT).contains(c) ||
                        text(TXT_VIEWER_SOFTWARE).contains(c) ||
                        text(TXT_GPS_DATA_INFO).contains(c) ||
                        text(TXT_CURRENT_VERSION).contains(c) ||
                        text(TXT_UPDATE_VERSION).contains(c) || c == QChar(0x2192))
                << static_cast<int>(c.unicode());
        }
    }
    EXPECT_FALSE(t.contains("href=\"javascript"));
    EXPECT_TRUE(t.contains("URL : javascript:alert(document.cookie)"));
    EXPECT_FALSE(t.contains("<b>"));
    EXPECT_TRUE(t.contains("<a href=\"http://v.example/a%20b%22onmouseover=%22x\">"));
    EXPECT_EQ(t.count(u'<'), 4);  // two links, two tags each
    EXPECT_LE(t.size(), kMaxTextLength);
}

TEST_F(UpdateServer, RedirectsAreFollowedAFewTimesToHttpOnly)
{
    route("/a", {{"status", 302}, {"location", "/b"}});
    route("/b", {{"status", 301}, {"location", base_ + "/c"}});
    body("/c", "done");
    route("/loop", {{"status", 302}, {"location", "/loop"}});
    route("/x", {{"status", 302}, {"location", "/y"}});
    route("/y", {{"status", 302}, {"location", "/x"}});
    route("/js", {{"status", 302}, {"location", "javascript:alert(1)"}});
    route("/file", {{"status", 302}, {"location", "file:///etc/passwd"}});
    HttpSession session(fastLimits());
    const HttpResponse ok = session.get(QUrl(base_ + "/a"));
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(ok.body, "done");
    QElapsedTimer t;
    t.start();
    for (const char* path : {"/loop", "/x", "/js", "/file"}) {
        const HttpResponse r = session.get(QUrl(base_ + path));
        EXPECT_FALSE(r.ok) << path;
        EXPECT_TRUE(r.body.isEmpty()) << path;
    }
    EXPECT_LT(t.elapsed(), 20000);
    // Only a few hops were made for the loop.
    EXPECT_LE(requested().count("/x") + requested().count("/y"), 4);
    EXPECT_FALSE(session.get(QUrl("file:///etc/passwd")).ok);
}

TEST_F(UpdateServer, WorkerRunsOnceAndHandsTheTextOver)
{
    serve("ZU590-MVS,x,1.3.0,http://r.example/fw\n", kViewerSame, "231015");
    CInetConnectionAsync connection;
    connection.setBaseUrl(base_);
    connection.setLimits(fastLimits());
    std::mutex m;
    std::condition_variable cv;
    bool called = false;
    connection.setTextReadyCallback([&] {
        std::lock_guard lock(m);
        called = true;
        cv.notify_all();
    });
    QEventLoop loop;
    bool signalled = false;
    QObject::connect(&connection, &CInetConnectionAsync::textReady, &loop, [&] {
        signalled = true;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(connection.StartUpdateCheck("1.2.3", "231015", kDownloadKey));
    EXPECT_FALSE(connection.StartUpdateCheck("1.2.3", "231015", kDownloadKey));  // once per run
    loop.exec();
    EXPECT_TRUE(signalled);  // delivered on this (the UI) thread through the event loop
    {
        std::unique_lock lock(m);
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return called; }));
    }
    EXPECT_TRUE(connection.updateText().contains("1.3.0"));
    connection.Stop();
    EXPECT_TRUE(connection.isFinished());
    EXPECT_EQ(requested().count(kViewerCsvPath), 1);
}

TEST_F(UpdateServer, StopEndsAHangingCheckAtOnce)
{
    route(kViewerCsvPath, {{"mode", "hang"}});
    CInetConnectionAsync connection;
    connection.setBaseUrl(base_);
    HttpLimits slow = fastLimits();
    slow.idleTimeoutMs = 60000;
    slow.totalTimeoutMs = 60000;
    connection.setLimits(slow);
    ASSERT_TRUE(connection.StartUpdateCheck("", "", ""));
    QElapsedTimer t;
    t.start();
    while (!requested().contains(kViewerCsvPath) && t.elapsed() < 10000)
        QThread::msleep(20);
    t.start();
    connection.Stop();
    EXPECT_LT(t.elapsed(), 10000);  // well before the 60 s limits
    EXPECT_TRUE(connection.updateText().isEmpty());
}

TEST_F(UpdateServer, HostComesFromTheConfigurationFile)
{
    serve("", "Rovazizarad,1.5.0,http://v/\n", "");
    const QString saved = startupFolder();
    setStartupFolder(dir_.path());
    CInetConnectionAsync none;
    EXPECT_FALSE(none.StartUpdateCheck("", "", ""));  // no UPDATE/HOST: no check
    ASSERT_TRUE(WriteValue("UPDATE", "HOST", base_));
    CInetConnectionAsync connection;
    connection.setLimits(fastLimits());
    std::mutex m;
    std::condition_variable cv;
    bool called = false;
    connection.setTextReadyCallback([&] {
        std::lock_guard lock(m);
        called = true;
        cv.notify_all();
    });
    ASSERT_TRUE(connection.StartUpdateCheck("", "", ""));
    {
        std::unique_lock lock(m);
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return called; }));
    }
    connection.Stop();
    setStartupFolder(saved);
    EXPECT_TRUE(connection.updateText().contains("1.5.0"));
    EXPECT_TRUE(connection.updateText().contains(text(TXT_VIEWER_SOFTWARE)));
}

TEST_F(UpdateServer, TheEnvironmentsProxyIsUsed)
{
    // The test server plays the proxy: it is asked for the absolute URL of a host that does
    // not exist.
    route("http://update.invalid/0_recorder/viewer/zeradir_viewer.csv",
          {{"body", "Rovazizarad,3.0.0,http://v.example/\n"}});
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy", base_.toLatin1());
    const test::RunResult r =
        test::runRavir({"update-check", "--base-url", "http://update.invalid", "--timeout-ms",
                        "1000", "--total-timeout-ms", "3000"});
    if (saved.isEmpty())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", saved);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("3.0.0")) << r.err.toStdString();
    EXPECT_TRUE(requested().contains("http://update.invalid/0_recorder/viewer/zeradir_viewer.csv"));
}

TEST_F(UpdateServer, CommandLinePrintsTheTextOrNothing)
{
    serve("ZU590-MVS,x,1.3.0,http://r.example/fw\n", kViewerSame, "231015");
    const QStringList common = {"update-check", "--base-url", base_, "--recorder-version",
                                "1.2.3", "--gps-version", "231015", "--timeout-ms", "1000",
                                "--total-timeout-ms", "3000"};
    test::RunResult r = test::runRavir(common + QStringList{"--download-key", kDownloadKey});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.out).startsWith(text(TXT_UPDATE_AVAILABLE)));
    EXPECT_TRUE(r.out.contains("1.3.0"));
    r = test::runRavir(common);  // no download key: no recorder block, viewer is current
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    server_.kill();
    server_.waitForFinished(5000);
    r = test::runRavir(common + QStringList{"--download-key", kDownloadKey});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(r.err.isEmpty());
    r = test::runRavir({"update-check", "--recorder-version", "1"});
    EXPECT_EQ(r.exitCode, 2);
}

}  // namespace
}  // namespace ravir::update
