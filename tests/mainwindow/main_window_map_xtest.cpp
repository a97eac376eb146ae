// The main window's map on a real (virtual) display: shown with M while a recording with
// positions is open, the map view takes the place of the placeholder in the detached window,
// follows the play clock and seeks the main camera when an event is clicked. Tiles come from a
// loopback address that answers nothing; the test never leaves this machine.
#include "gui_app.h"
#include "mainwindow/dedorade_dlg.h"
#include "mainwindow/movie_dialog.h"
#include "playback/player.h"
#include "sample_data.h"
#include "views/map_view.h"

#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ravir;
using test::waitUntil;

TEST(MainWindowMap, MapFollowsTheRecordingAndItsClicksSeek)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    qputenv("RAVIR_CONFIG_DIR", config.path().toLocal8Bit());
    {
        QFile ini(config.path() + "/Zazavud_Urezed.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[MAP]\r\nTILE_URL=http://127.0.0.1:9/{z}/{x}/{y}.png\r\n");
    }
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 4.0;
    o.allKinds = false;
    QString error;
    const QString card = test::sampleCard("mainwindow-wiring", o, &error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    CdedoradeDlg::Options options;
    options.source = card;
    CdedoradeDlg w(options);
    w.show();
    ASSERT_TRUE(waitUntil([&] { return w.recordingReady(); }, 20000));
    EXPECT_FALSE(w.mapView());  // no map before the map window is asked for

    QKeyEvent m(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier);
    QApplication::sendEvent(&w, &m);
    ASSERT_TRUE(w.mapShown());
    ASSERT_TRUE(w.mapView());
    EXPECT_EQ(w.movieDialog()->mapWidget(), w.mapView());
    ASSERT_TRUE(waitUntil([&] { return w.mapView()->isPageReady(); }, 30000));
    // With a page and positions the map replaces the placeholder.
    ASSERT_TRUE(waitUntil([&] { return w.mapView()->isVisible(); }, 5000));

    // An event clicked on the map seeks the main camera there.
    Q_EMIT w.mapView()->eventClicked(40);
    EXPECT_EQ(w.shownFrame(), 40);
    ASSERT_TRUE(w.player(0)->WaitSeekDone(5000));
    EXPECT_EQ(w.player(0)->GetCurrentFrame(), 40);
    w.Shutdown();
    qunsetenv("RAVIR_CONFIG_DIR");
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    test::guiApp();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
