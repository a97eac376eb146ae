// The telemetry views in the main window, frame by frame on a sample card: after every seek,
// step and pause the graph's cursor and the panel's accelerations, speed, GPS fix and date show
// the telemetry record of the picture's frame, worked out here from the telemetry file itself.
// Also the panel's playback-speed caption and its stretch with the window's width. A program of
// its own (GoogleTest with its own main) on Qt's offscreen platform.
#include "window_card_test.h"
#include "ada_records.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/main/dedorade_dlg.h"
#include "playback/player.h"
#include "sample_data.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/views/info_format.h"
#include "windows/kit/toggle_button.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

void key(QWidget* w, int k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

// The telemetry file beside a movie of the Normal folder: "_NData", camera letter D, ".ADA".
QString AdaOf(const QString& movie)
{
    const QFileInfo info(movie);
    QString name = info.fileName();
    name[25] = QLatin1Char('D');
    name.replace(QLatin1String(".MOV"), QLatin1String(".ADA"));
    return info.dir().absoluteFilePath(QStringLiteral("../_NData/") + name);
}

// "YYYY/MM/DD hh:mm:ss" of the name's start time plus the frames' time, whole seconds cut.
QString ExpectedDateTime(const QString& movie, int frame, float frameMs)
{
    const QString name = QFileInfo(movie).fileName();
    const QDateTime start(QDate::fromString(QStringLiteral("20") + name.mid(5, 6), QStringLiteral("yyyyMMdd")),
                          QTime::fromString(name.mid(12, 6), QStringLiteral("HHmmss")));
    const auto ticks = static_cast<long long>(static_cast<float>(frame) * frameMs * 10000.0f);
    return start.addMSecs(ticks / 10000).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString ExpectedAccel(int thousandths)
{
    const double v = static_cast<double>(static_cast<float>(thousandths) / 1000.0f);
    return QString::asprintf("%.2fG", static_cast<int>(v * 100.0) / 100.0);
}

class MainWindowViews : public test::WindowCardTest {
protected:
    std::unique_ptr<CdedoradeDlg> startWindow()
    {
        CdedoradeDlg::Options o;
        o.source = card_;
        auto w = std::make_unique<CdedoradeDlg>(o);
        w->move(40, 30);
        w->show();
        EXPECT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 20000));
        return w;
    }

};

}  // namespace

TEST_F(MainWindowViews, GraphCursorAndPanelShowTheTelemetryOfThePicturesFrame)
{
    auto w = startWindow();
    ASSERT_TRUE(w->session()->telemetryReady());
    CFilerContainerDlg* browser = w->browser();
    // The first listed recording whose telemetry holds an event: a marker to look at.
    int row = -1;
    std::vector<test::AdaRecord> records;
    for (int r = 0; r < browser->rowCount() && row < 0; ++r) {
        const QString movie = browser->listCtrl()->recordAt(r)->path;
        records = test::ReadAdaRecords(AdaOf(movie));
        for (const test::AdaRecord& a : records)
            if (a.event() && row < 0)
                row = r;
    }
    ASSERT_GE(row, 0) << "no recording with an event on the card";
    if (row != browser->listCtrl()->playingRow()) {
        browser->setCurrentRow(row);
        ASSERT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 20000));
    }
    const QString movie = w->session()->currentPath();
    ASSERT_EQ(movie, browser->listCtrl()->recordAt(row)->path);
    Player& main = *w->session()->player(0);
    const long long frames = main.GetFrameCount();
    const float frameMs = main.GetFrameMs();
    ASSERT_GT(frames, 20);
    ASSERT_GT(frameMs, 0.0f);
    const std::vector<int> index = test::FrameRecords(static_cast<int>(records.size()), frames, frameMs);
    const std::vector<int> gps = test::GpsRecords(static_cast<int>(records.size()), frameMs);
    ASSERT_EQ(static_cast<long long>(index.size()), frames);

    // The first frame showing the event record.
    int eventFrame = -1;
    for (int i = 0; i < frames && eventFrame < 0; ++i) {
        const bool now = records[static_cast<size_t>(index[static_cast<size_t>(i)])].event();
        const bool before = i > 0 && records[static_cast<size_t>(index[static_cast<size_t>(i - 1)])].event();
        if (now && !before)
            eventFrame = i;
    }
    ASSERT_GE(eventFrame, 0);

    auto expectFrame = [&](int frame, const char* how) {
        SCOPED_TRACE(testing::Message() << how << " frame " << frame);
        ASSERT_TRUE(main.WaitSeekDone(5000));
        // A few play-clock ticks: the views must stay on the picture's frame.
        QTest::qWait(120);
        EXPECT_EQ(main.GetCurrentFrame(), frame);
        EXPECT_EQ(w->session()->shownFrame(), frame);
        EXPECT_EQ(w->graphView()->currentFrame(), frame);
        EXPECT_EQ(w->infoView()->fields().position, frame);
        const test::AdaRecord& a = records[static_cast<size_t>(index[static_cast<size_t>(frame)])];
        const int g = gps[static_cast<size_t>(index[static_cast<size_t>(frame)])];
        const test::AdaRecord& fix = records[static_cast<size_t>(g)];
        const InfoTexts t = w->infoView()->texts();
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_EQ(t.accel[axis].toStdString(), ExpectedAccel(a.accel[axis]).toStdString()) << "axis " << axis;
        const bool speedShown = fix.fix && fix.speed >= 0 && fix.speed <= 999;
        EXPECT_EQ(t.speed.toStdString(), speedShown ? QString::asprintf("%.0f ", fix.speed).toStdString() : std::string());
        EXPECT_EQ(t.gpsFix, fix.fix);
        EXPECT_EQ(t.dateTime.toStdString(), ExpectedDateTime(movie, frame, frameMs).toStdString());
    };

    // Seeks to the event's frame and around it, single steps forward and back.
    w->session()->SeekAll(eventFrame);
    expectFrame(eventFrame, "seek to the event");
    const int far = static_cast<int>(frames) - 1;
    w->session()->SeekAll(far);
    expectFrame(far, "seek to the last frame");
    w->session()->SeekAll(0);
    expectFrame(0, "seek to the start");
    w->session()->SeekAll(eventFrame > 0 ? eventFrame - 1 : 1);
    expectFrame(eventFrame > 0 ? eventFrame - 1 : 1, "seek before the event");
    key(w.get(), Qt::Key_Right);
    expectFrame(eventFrame > 0 ? eventFrame : 2, "step forward");
    key(w.get(), Qt::Key_Right);
    key(w.get(), Qt::Key_Right);
    expectFrame(eventFrame > 0 ? eventFrame + 2 : 4, "two steps forward");
    key(w.get(), Qt::Key_Left);
    expectFrame(eventFrame > 0 ? eventFrame + 1 : 3, "step back");

    // Played and paused: the views stop on the frame the picture stopped on.
    w->session()->SeekAll(0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    key(w.get(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return w->session()->shownFrame() >= 12; }, 5000));
    key(w.get(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return main.GetCurrentFrame() == w->session()->shownFrame(); }, 3000));
    expectFrame(main.GetCurrentFrame(), "paused after play");

    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR")) {
        w->session()->SeekAll(eventFrame + 3);
        ASSERT_TRUE(main.WaitSeekDone(5000));
        QTest::qWait(100);
        const QString dir = qEnvironmentVariable("RAVIR_SHOT_DIR");
        w->graphView()->renderFrame().save(dir + "/views_graph_event.png");
        w->infoView()->renderFrame().save(dir + "/views_panel_event.png");
        w->grab().save(dir + "/views_window_event.png");
    }
    w->Shutdown();
}

TEST_F(MainWindowViews, PanelCaptionFollowsTheRateAndItsBlocksTheWidth)
{
    auto w = startWindow();
    ASSERT_TRUE(w->session()->telemetryReady());
    CInfoDlg* info = w->infoView();
    // Opened at x1; ] while playing doubles the rate, [ twice halves it; the caption follows.
    EXPECT_EQ(info->fields().speedCaption, text(TXT_SPEED_1_0));
    key(w.get(), Qt::Key_Space);
    key(w.get(), Qt::Key_BracketRight);
    EXPECT_EQ(w->rateCode(), 2);
    EXPECT_EQ(info->fields().speedCaption, text(TXT_SPEED_2_0));
    key(w.get(), Qt::Key_BracketLeft);
    key(w.get(), Qt::Key_BracketLeft);
    EXPECT_EQ(w->rateCode(), -2);
    EXPECT_EQ(info->fields().speedCaption, text(TXT_SPEED_0_5));
    key(w.get(), Qt::Key_Home);  // first frame: stopped at the recording's default rate
    EXPECT_EQ(w->rateCode(), 1);
    ASSERT_TRUE(waitUntil([&] { return info->fields().speedCaption == text(TXT_SPEED_1_0); }, 2000));

    // The axis blocks (and their toggles) spread with the panel: 140 units apart at the design
    // width, 140 x panel width / 655 units wider.
    const float s = LayoutScale();
    auto toggleStep = [&] { return info->axisToggle(1)->x() - info->axisToggle(0)->x(); };
    EXPECT_EQ(w->layoutRects().infoPanel.width(), static_cast<int>(655 * s));
    EXPECT_NEAR(toggleStep(), 140 * s, 1);
    w->resize(w->width() + static_cast<int>(400 * s), w->height());
    ASSERT_TRUE(waitUntil([&] { return w->layoutRects().infoPanel.width() > static_cast<int>(655 * s); }, 2000));
    const double stretch = w->layoutRects().infoPanel.width() / static_cast<double>(static_cast<int>(655 * s));
    EXPECT_GT(stretch, 1.3);
    EXPECT_NEAR(toggleStep(), 140 * s * stretch, 1);
    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
        info->renderFrame().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + "/views_panel_wide.png");
    w->Shutdown();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
