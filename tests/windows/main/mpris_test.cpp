// The desktop media controls over a private D-Bus bus (a dbus-daemon of the test's own): every
// MPRIS call reaches the window's command through a fake target, properties read the window's
// state, PropertiesChanged follows a change; dbus-send, as a desktop tool would, drives it too.
#include "windows/main/mpris_service.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace ravir;

namespace {

QCoreApplication* app()
{
    static int argc = 1;
    static char name[] = "test_windows_main";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The other tests of this program make their QApplication first when they run first.
    static QCoreApplication* a =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QApplication(argc, argv);
    return a;
}

template <class Pred>
bool waitUntil(Pred done, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class FakeWindow : public MprisTarget {
public:
    MprisState s;
    QStringList calls;

    MprisState mprisState() const override { return s; }
    void mprisPlay() override
    {
        calls << "play";
        s.status = MprisState::Status::Playing;
    }
    void mprisPause() override
    {
        calls << "pause";
        s.status = MprisState::Status::Paused;
    }
    void mprisStop() override
    {
        calls << "stop";
        s.status = MprisState::Status::Stopped;
        s.positionUs = 0;
    }
    void mprisNext() override
    {
        calls << "next";
        s.moviePath = "/card/DCIM/NORMAL/Main_0002.MP4";
        s.positionUs = 0;
    }
    void mprisPrevious() override { calls << "previous"; }
    void mprisSeek(qint64 us) override
    {
        calls << QStringLiteral("seek %1").arg(us);
        s.positionUs = us;
    }
    void mprisSetRate(double rate) override
    {
        calls << QStringLiteral("rate %1").arg(rate);
        s.rate = rate;
    }
    void mprisSetVolume(double v) override
    {
        calls << QStringLiteral("volume %1").arg(v);
        s.volume = v;
    }
    void mprisRaise() override { calls << "raise"; }
};

// Records the PropertiesChanged and Seeked signals a client sees.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changed;
    QList<qlonglong> seeked;
public Q_SLOTS:
    void onChanged(const QString&, const QVariantMap& props, const QStringList&) { changed << props; }
    void onSeeked(qlonglong position) { seeked << position; }
};

class Mpris : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            GTEST_SKIP() << "dbus-daemon is missing; see scripts/setup";
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon_.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return daemon_.canReadLine(); }, 5000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        server_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, QStringLiteral("mpris_server")));
        client_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, QStringLiteral("mpris_client")));
        ASSERT_TRUE(server_->isConnected());
        ASSERT_TRUE(client_->isConnected());

        window_.s.hasMovie = true;
        window_.s.status = MprisState::Status::Paused;
        window_.s.moviePath = "/card/DCIM/NORMAL/Main_0001.MP4";
        window_.s.lengthUs = 60'000'000;
        window_.s.positionUs = 1'000'000;
        window_.s.canGoNext = true;
        service_ = std::make_unique<MprisService>(&window_);
        ASSERT_TRUE(service_->start(*server_));
        ASSERT_TRUE(client_->connect(MprisService::kServiceName, MprisService::kObjectPath,
                                     "org.freedesktop.DBus.Properties", "PropertiesChanged", &log_,
                                     SLOT(onChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(client_->connect(MprisService::kServiceName, MprisService::kObjectPath,
                                     "org.mpris.MediaPlayer2.Player", "Seeked", &log_,
                                     SLOT(onSeeked(qlonglong))));
    }
    void TearDown() override
    {
        service_.reset();
        server_.reset();
        client_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris_server"));
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris_client"));
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished(3000);
        }
    }

    // A method call through the bus, waited for with the event loop running (the service
    // answers on this thread, so no call here may block).
    QDBusMessage send(const QString& interface, const QString& method, const QList<QVariant>& args)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(
            MprisService::kServiceName, MprisService::kObjectPath, interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = client_->asyncCall(m);
        waitUntil([&] { return pending.isFinished(); });
        return pending.reply();
    }
    bool call(const QString& method, const QList<QVariant>& args = {})
    {
        return send("org.mpris.MediaPlayer2.Player", method, args).type() ==
               QDBusMessage::ReplyMessage;
    }
    QVariant property(const QString& interface, const QString& name)
    {
        const QDBusMessage reply = send("org.freedesktop.DBus.Properties", "Get", {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QVariant();
        return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    }
    QVariant playerProperty(const QString& name)
    {
        return property("org.mpris.MediaPlayer2.Player", name);
    }
    bool setPlayerProperty(const QString& name, const QVariant& value)
    {
        return send("org.freedesktop.DBus.Properties", "Set",
                    {QStringLiteral("org.mpris.MediaPlayer2.Player"), name,
                     QVariant::fromValue(QDBusVariant(value))})
                   .type() == QDBusMessage::ReplyMessage;
    }

    QProcess daemon_;
    QString address_;
    std::unique_ptr<QDBusConnection> server_;
    std::unique_ptr<QDBusConnection> client_;
    FakeWindow window_;
    std::unique_ptr<MprisService> service_;
    SignalLog log_;
};

}  // namespace

TEST_F(Mpris, IdentityAndStateAreReadFromTheWindow)
{
    EXPECT_EQ(service_->serviceName(), QString(MprisService::kServiceName));
    EXPECT_EQ(property("org.mpris.MediaPlayer2", "Identity").toString(), "Ravir viewer");
    EXPECT_EQ(property("org.mpris.MediaPlayer2", "DesktopEntry").toString(), "io.github.ravir.Viewer")
        << "the installed desktop file's id";
    EXPECT_EQ(playerProperty("PlaybackStatus").toString(), "Paused");
    EXPECT_EQ(playerProperty("Position").toLongLong(), 1'000'000);
    window_.s.positionUs = 2'500'000;
    EXPECT_EQ(playerProperty("Position").toLongLong(), 2'500'000) << "read when asked";
    EXPECT_TRUE(playerProperty("CanGoNext").toBool());
    EXPECT_FALSE(playerProperty("CanGoPrevious").toBool());
    EXPECT_TRUE(playerProperty("CanSeek").toBool());
    EXPECT_DOUBLE_EQ(playerProperty("MinimumRate").toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(playerProperty("MaximumRate").toDouble(), 4.0);

    const QVariantMap meta = qdbus_cast<QVariantMap>(playerProperty("Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), "Main_0001.MP4");
    EXPECT_EQ(meta.value("xesam:url").toString(), "file:///card/DCIM/NORMAL/Main_0001.MP4");
    EXPECT_EQ(meta.value("mpris:length").toLongLong(), 60'000'000);
    EXPECT_EQ(qdbus_cast<QDBusObjectPath>(meta.value("mpris:trackid")).path(), service_->trackId());

    // With no movie nothing can be played and there is no track.
    window_.s = MprisState{};
    EXPECT_EQ(playerProperty("PlaybackStatus").toString(), "Stopped");
    EXPECT_FALSE(playerProperty("CanPlay").toBool());
    EXPECT_TRUE(call("PlayPause"));
    EXPECT_TRUE(window_.calls.isEmpty());
}

TEST_F(Mpris, CallsRunTheWindowsCommandsAndSignalChanges)
{
    ASSERT_TRUE(call("PlayPause"));
    EXPECT_EQ(window_.calls, QStringList{"play"});
    ASSERT_TRUE(waitUntil([&] { return !log_.changed.isEmpty(); }));
    EXPECT_EQ(log_.changed.last().value("PlaybackStatus").toString(), "Playing");
    EXPECT_FALSE(log_.changed.last().contains("Metadata")) << "only what changed";

    ASSERT_TRUE(call("Play"));  // already playing: nothing to do
    ASSERT_TRUE(call("Pause"));
    ASSERT_TRUE(call("PlayPause"));
    ASSERT_TRUE(call("Stop"));
    EXPECT_EQ(window_.calls, (QStringList{"play", "pause", "play", "stop"}));

    // Seek is relative, SetPosition absolute and only for the current track.
    window_.calls.clear();
    window_.s.positionUs = 10'000'000;
    ASSERT_TRUE(call("Seek", {QVariant::fromValue<qlonglong>(5'000'000)}));
    ASSERT_TRUE(call("Seek", {QVariant::fromValue<qlonglong>(-90'000'000)}));
    const QDBusObjectPath track(service_->trackId());
    ASSERT_TRUE(call("SetPosition", {QVariant::fromValue(track), QVariant::fromValue<qlonglong>(30'000'000)}));
    ASSERT_TRUE(call("SetPosition", {QVariant::fromValue(QDBusObjectPath("/org/ravir/track/other")),
                                     QVariant::fromValue<qlonglong>(5'000'000)}));
    ASSERT_TRUE(call("SetPosition", {QVariant::fromValue(track), QVariant::fromValue<qlonglong>(61'000'000)}));
    EXPECT_EQ(window_.calls, (QStringList{"seek 15000000", "seek 0", "seek 30000000"}));
    ASSERT_TRUE(waitUntil([&] { return log_.seeked.size() == 3; }));
    EXPECT_EQ(log_.seeked.last(), 30'000'000);

    // Rates go to the nearest step; 0 pauses.
    window_.calls.clear();
    window_.s.status = MprisState::Status::Playing;
    EXPECT_TRUE(setPlayerProperty("Rate", 3.0));
    EXPECT_TRUE(setPlayerProperty("Rate", 0.3));
    EXPECT_TRUE(setPlayerProperty("Rate", 1.3));
    EXPECT_TRUE(setPlayerProperty("Rate", 0.0));
    EXPECT_EQ(window_.calls, (QStringList{"rate 4", "rate 0.25", "rate 1", "pause"}));

    // Seeking past the end moves to the next recording; the metadata follow.
    window_.calls.clear();
    log_.changed.clear();
    ASSERT_TRUE(call("Seek", {QVariant::fromValue<qlonglong>(60'000'000)}));
    EXPECT_EQ(window_.calls, QStringList{"next"});
    ASSERT_TRUE(waitUntil([&] { return !log_.changed.isEmpty(); }));
    const QVariantMap meta = qdbus_cast<QVariantMap>(log_.changed.last().value("Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), "Main_0002.MP4");
    ASSERT_TRUE(call("Previous"));  // CanGoPrevious is false
    EXPECT_EQ(window_.calls, QStringList{"next"});

    // A change made in the window is signalled once the window refreshes the service.
    log_.changed.clear();
    window_.s.canGoPrevious = true;
    service_->refresh();
    ASSERT_TRUE(waitUntil([&] { return !log_.changed.isEmpty(); }));
    EXPECT_EQ(log_.changed.last(), (QVariantMap{{"CanGoPrevious", true}}));
}

TEST_F(Mpris, DesktopToolsDriveItAndASecondViewerGetsItsOwnName)
{
    if (QStandardPaths::findExecutable("dbus-send").isEmpty())
        GTEST_SKIP() << "dbus-send is missing";
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
    send.setProcessEnvironment(env);
    send.start("dbus-send", {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.ravir",
                             "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player.Next"});
    ASSERT_TRUE(waitUntil([&] { return send.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
    EXPECT_EQ(window_.calls, QStringList{"next"});

    FakeWindow other;
    MprisService second(&other);
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("mpris_second"));
    ASSERT_TRUE(second.start(bus));
    EXPECT_TRUE(second.serviceName().startsWith("org.mpris.MediaPlayer2.ravir.instance"));
    second.stop();
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris_second"));

    // Without a bus the service stays off.
    MprisService none(&other);
    EXPECT_FALSE(none.start(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                          QStringLiteral("mpris_none"))));
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris_none"));
}

#include "mpris_test.moc"
