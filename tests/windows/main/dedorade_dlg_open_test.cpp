// The main window opens a recording without waiting for the engine and finishes the open when
// the main camera's player reports the movie ready.
#include "catalogue/recording_record.h"
#include "windows/main/dedorade_dlg.h"
#include "playback/player.h"
#include "sample_data.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ravir;

namespace {

QApplication* app()
{
    static int argc = 1;
    static char name[] = "test_windows_main";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* instance = qobject_cast<QApplication*>(QCoreApplication::instance())
                                        ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                        : new QApplication(argc, argv);
    return instance;
}

template <class Pred>
bool waitUntil(Pred done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace

TEST(MainWindowOpen, ReturnsAtOnceAndShowsTheFirstFrameWhenReady)
{
    app();
    QTemporaryDir dir;  // the window keeps its configuration in RAVIR_CONFIG_DIR
    ASSERT_TRUE(dir.isValid());
    qputenv("RAVIR_CONFIG_DIR", dir.path().toLocal8Bit());
    samples::SampleMovieOptions o;
    o.width = 320;
    o.height = 240;
    o.fps = 30;
    o.seconds = 3;
    o.gop = 30;
    QString error;
    const QString movie = test::sampleMovie("pb_30fps_3s", o, &error);
    ASSERT_FALSE(movie.isEmpty()) << error.toStdString();
    {
        CdedoradeDlg::Options options;
        options.source = dir.path();  // an empty folder: nothing opens by itself
        CdedoradeDlg window(options);
        // The engines are made on workers and come through the event loop.
        ASSERT_TRUE(waitUntil([&] { return window.session()->slotReady(0); }, 10000));
        int ready = 0;
        QObject::connect(&window, &CdedoradeDlg::movieReady, [&] { ++ready; });
        waitUntil([] { return false; }, 100);  // the deferred start

        RecordingRecord record;
        record.path = movie;
        Player& main = *window.session()->player(0);
        ASSERT_EQ(window.OpenRecording(record), 1);
        EXPECT_FALSE(window.session()->ready());
        EXPECT_FALSE(main.IsReady());
        // Play pressed during the open is kept for when the recording is ready.
        window.TogglePlay();
        EXPECT_EQ(main.state().playState, kStopped);
        ASSERT_TRUE(waitUntil([&] { return ready == 1; }, 10000));
        EXPECT_TRUE(window.session()->ready());
        // The play request is honoured once the recording's telemetry is loaded too.
        ASSERT_TRUE(waitUntil([&] { return window.session()->telemetryReady(); }, 10000));
        EXPECT_EQ(main.state().playState, kPlaying);

        // Opened again without play: it rests on frame 0.
        ASSERT_EQ(window.OpenRecording(record), 1);
        ASSERT_TRUE(waitUntil([&] { return ready == 2 && window.session()->telemetryReady(); }, 10000));
        ASSERT_TRUE(main.WaitSeekDone(5000));
        EXPECT_EQ(main.GetCurrentFrame(), 0);
        EXPECT_EQ(main.state().playState, kStopped);
        // Steps add up while their seeks are under way.
        window.StepFrames(5);
        window.StepFrames(5);
        ASSERT_TRUE(main.WaitSeekDone(5000));
        EXPECT_EQ(main.GetCurrentFrame(), 10);
        window.Shutdown();
    }
    qunsetenv("RAVIR_CONFIG_DIR");
}
