#pragma once
// Shared by the playback tests: a QApplication on the offscreen platform, the sample movies the
// tests play, and reading the frame number back from a still image.
#include "frame_pattern_reader.h"
#include "playback/player.h"
#include "sample_data.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravir::test {

inline QApplication* playbackApp()
{
    static int argc = 1;
    static char name[] = "test_playback";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// Small movies: 320 x 240, key frames every gop frames, with sound.
inline QString smallMovie(const QString& key, double fps, double seconds, int gop = 30,
                          int width = 320, int height = 240)
{
    samples::SampleMovieOptions o;
    o.width = width;
    o.height = height;
    o.fps = fps;
    o.seconds = seconds;
    o.gop = gop;
    QString error;
    const QString path = sampleMovie(key, o, &error);
    EXPECT_FALSE(path.isEmpty()) << error.toStdString();
    return path;
}

// Runs the event loop until done() or the time limit.
template <class Pred>
bool waitUntil(Pred done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Opens a movie and waits until it is ready: OpenMovie's result, -1 when the load did not get
// ready within the time.
inline int openAndWait(Player& player, const QString& path, int timeoutMs = 10000)
{
    const int result = player.OpenMovie(path);
    if (result == kOpened && !player.WaitForReady(timeoutMs))
        return -1;
    return result;
}

// Seeks and waits until the seek has landed.
inline void seekAndWait(Player& player, int frame, int timeoutMs = 5000)
{
    player.SeekFrame(frame);
    EXPECT_TRUE(player.WaitSeekDone(timeoutMs)) << "seek to frame " << frame;
}

inline void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace ravir::test
