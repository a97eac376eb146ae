// The engine base every player starts from: the audio output is one of the sound servers, ALSA
// or none, never SDL's (whose shutdown hangs on a machine without a sound card), and a user's
// mpv configuration never reaches the program's engines.
#include "playback/mpv_handle.h"
#include "playback_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <mpv/client.h>

namespace ravir::test {
namespace {

TEST(MpvEngine, AudioOutputIsNeverSdlAndUserConfigurationIsIgnored)
{
    playbackApp();
    const QString movie = smallMovie("engine-base", 30, 3);
    ASSERT_FALSE(movie.isEmpty());

    // A user configuration that would, if read, choose SDL's audio output and mute everything.
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath("mpv"));
    QFile conf(home.filePath("mpv/mpv.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("ao=sdl\nvolume=3\n");
    conf.close();
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());

    for (int round = 0; round < 3; ++round) {
        MpvHandle mpv;
        ASSERT_TRUE(mpv.create({{"vo", "null"}, {"pause", "yes"}}));
        bool loaded = false;
        mpv.setEventHandler([&](const mpv_event& e) {
            if (e.event_id == MPV_EVENT_FILE_LOADED)
                loaded = true;
        });
        ASSERT_GE(mpv.loadFile(movie), 0);
        ASSERT_TRUE(mpv.pumpUntil([&] { return loaded; }, 10000));
        // The audio output opens with the audio chain, shortly after the file is loaded.
        QString ao;
        ASSERT_TRUE(mpv.pumpUntil([&] {
            ao = mpv.getString("current-ao").value_or(QString());
            return !ao.isEmpty();
        }, 10000)) << "no audio output was opened";
        EXPECT_TRUE(ao == "pipewire" || ao == "pulse" || ao == "alsa" || ao == "null")
            << "audio output " << ao.toStdString();
        EXPECT_EQ(mpv.getDouble("volume").value_or(-1), 100.0) << "the user's mpv.conf was read";
        // The end of the engine is bounded (the test's own time limit catches a hang here).
    }
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

}  // namespace
}  // namespace ravir::test
