// The main window's display modes on Qt's offscreen platform (two screens, see gui_app.h):
// the user resize with its clamping and the factors it writes, maximise and restore (also by
// the title-bar buttons), the layout saved while maximised, the monitor change, the thumbnail
// switch, the map window, the update check of the deferred start, and one whole session on a
// sample card. A program of its own (GoogleTest with its own main), so that its two-screen
// platform stays out of the other window tests.
#include "gui_app.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/main/window_update_check.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_progress.h"
#include "windows/map/map_window.h"
#include "playback/movie_probe.h"
#include "playback/player.h"
#include "sample_data.h"
#include "windows/settings/setting_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/kit/toggle_button.h"
#include "windows/kit/app_scale.h"
#include "shell/ini_file.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Drags from a point of the window by delta with the left button, as a user would: press,
// a move after the outline's pause, release.
void drag(QWidget* w, QPoint from, QPoint delta)
{
    sendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    waitUntil([] { return false; }, 120);
    sendMouse(w, QEvent::MouseMove, from + delta, Qt::NoButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, from + delta, Qt::LeftButton, Qt::NoButton);
}

QWidget* outlineWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("resizeOutline"))
            return w;
    }
    return nullptr;
}

class MainWindowModes : public testing::Test {
protected:
    void SetUp() override
    {
        guiApp();
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(source_.isValid());
        qputenv("RAVIR_CONFIG_DIR", config_.path().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("RAVIR_CONFIG_DIR"); }

    QString iniPath() const { return config_.path() + "/Zazavud_Urezed.ini"; }
    void writeIni(const QByteArray& content)
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QString ini(const char* section, const char* key) const
    {
        return IniFile(iniPath()).read(section, key);
    }
    // A window on an empty folder, shown on the left screen, after its deferred start.
    std::unique_ptr<CdedoradeDlg> startWindow(QString source = {})
    {
        CdedoradeDlg::Options o;
        o.source = source.isEmpty() ? source_.path() : source;
        auto w = std::make_unique<CdedoradeDlg>(o);
        bool started = false;
        QObject::connect(w.get(), &CdedoradeDlg::deferredStartDone, [&] { started = true; });
        w->move(40, 30);
        w->show();
        EXPECT_TRUE(waitUntil([&] { return started; }, 5000));
        return w;
    }

    QTemporaryDir config_;
    QTemporaryDir source_;
};

}  // namespace

TEST_F(MainWindowModes, UserResizeIsClampedAndWritesTheFactorsWhenItEnds)
{
    writeIni("[DISPLAY]\r\nSCALEX=1.500000\r\nSCALEY=1.250000\r\n");
    auto w = startWindow();
    ASSERT_FLOAT_EQ(LayoutScale(), 1.0f);  // the 1056-pixel screen
    EXPECT_EQ(w->size(), QSize(1680, 871));
    EXPECT_EQ(w->videoSurface()->geometry(), QRect(6, 24, 1680 - 12 - 440 - 12, 871 - 327));
    EXPECT_EQ(config_.path(), startupFolder());

    // Below the design size: the window snaps to 1120 x 697, its top-left corner stays, and
    // both factors are written as 1.000000 once the resize has ended.
    const QPoint topLeft = w->pos();
    bool applied = false;
    QObject::connect(w.get(), &CdedoradeDlg::resizeApplied, [&] { applied = true; });
    sendMouse(w.get(), QEvent::MouseButtonPress, {1678, 869}, Qt::LeftButton, Qt::LeftButton);
    waitUntil([] { return false; }, 120);
    sendMouse(w.get(), QEvent::MouseMove, {1678 - 900, 869 - 600}, Qt::NoButton, Qt::LeftButton);
    // While the button is down only the outline follows, clamped.
    QWidget* outline = outlineWindow();
    ASSERT_NE(outline, nullptr);
    EXPECT_TRUE(outline->isVisible());
    EXPECT_EQ(outline->geometry(), QRect(topLeft, QSize(1120, 697)));
    EXPECT_EQ(w->size(), QSize(1680, 871));
    sendMouse(w.get(), QEvent::MouseButtonRelease, {1678 - 900, 869 - 600}, Qt::LeftButton,
              Qt::NoButton);
    EXPECT_FALSE(outline->isVisible());
    EXPECT_EQ(w->geometry(), QRect(topLeft, QSize(1120, 697)));
    EXPECT_TRUE(ini("DISPLAY", "SCALEX") == "1.500000");  // not before the resize has ended
    ASSERT_TRUE(waitUntil([&] { return applied; }, 3000));
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.000000");
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), "1.000000");
    EXPECT_EQ(w->frame().normalRect(), w->geometry());

    // The left edge dragged outwards: the right edge stays, the factor follows the width.
    applied = false;
    const int right = w->geometry().right();
    drag(w.get(), {2, 300}, {-280, 0});
    EXPECT_EQ(w->geometry().right(), right);
    EXPECT_EQ(w->width(), 1400);
    ASSERT_TRUE(waitUntil([&] { return applied; }, 3000));
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.250000");
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), "1.000000");

    // Far beyond the screen: the largest enlargement (2 x 1920 / 1120, capped at 24/7). The
    // window then lies over both screens; whichever holds it, the factors stay.
    applied = false;
    drag(w.get(), {w->width() - 2, w->height() - 2}, {6000, 6000});
    ASSERT_TRUE(waitUntil([&] { return applied; }, 3000));
    // The factors of the clamped rectangle: 3840 x 2389 pixels.
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), QString::asprintf("%f", 3840.0f / 1120.0f));
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), QString::asprintf("%f", 2389.0f / 697.0f));
    waitUntil([] { return false; }, 50);
    const QSize design = DesignSize(LayoutScale());
    EXPECT_EQ(w->size(), QSize(static_cast<int>(static_cast<float>(design.width()) * w->frame().scaleX()),
                               static_cast<int>(static_cast<float>(design.height()) * w->frame().scaleY())));
    w->Shutdown();
}

// A border drag that the window manager carries out reaches the window only as new sizes. A
// user who holds still longer than the settle time and then drags on must still find the last
// size remembered, now and at shutdown, and the window must restore to it.
// Scale factors in the configuration file beyond the largest enlargement: the window is sized
// to the screen's work area before it is shown, all of it (caption and title-bar buttons) on
// the screen, and the factors written back are the ones it has, so the next start is the same.
TEST_F(MainWindowModes, FactorsBeyondTheScreenAreClampedBeforeTheWindowShows)
{
    writeIni("[DISPLAY]\r\nSCALEX=5.000000\r\nSCALEY=4.000000\r\n");
    QSize first;
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "factors from the file" : "factors written back");
        CdedoradeDlg::Options o;
        o.source = source_.path();
        auto w = std::make_unique<CdedoradeDlg>(o);
        ASSERT_NE(w->screen(), nullptr);
        const QRect area = w->screen()->availableGeometry();
        ASSERT_LT(area.width(), static_cast<int>(1120 * w->frame().maxEnlargement()));  // the case at hand
        // Sized before it is shown: as large as the work area holds, no larger.
        EXPECT_LE(w->width(), area.width());
        EXPECT_LE(w->height(), area.height());
        EXPECT_GE(w->width(), area.width() - 1);
        EXPECT_GE(w->height(), area.height() - 1);
        bool started = false;
        QObject::connect(w.get(), &CdedoradeDlg::deferredStartDone, [&] { started = true; });
        w->move(40, 30);
        w->show();
        ASSERT_TRUE(waitUntil([&] { return started; }, 5000));
        EXPECT_TRUE(area.contains(w->geometry())) << w->geometry().x() << "," << w->geometry().y();
        for (const char* name : {"titleClose", "titleMaximise", "titleMinimise"}) {
            auto* button = w->findChild<QWidget*>(QString::fromLatin1(name));
            ASSERT_NE(button, nullptr) << name;
            EXPECT_TRUE(area.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size()))) << name;
        }
        if (start == 0)
            first = w->size();
        else
            EXPECT_EQ(w->size(), first);
        w->Shutdown();
        // What is written back fits the screen too.
        const double x = ini("DISPLAY", "SCALEX").toDouble();
        const double y = ini("DISPLAY", "SCALEY").toDouble();
        EXPECT_GE(x, 1.0);
        EXPECT_GE(y, 1.0);
        EXPECT_LE(static_cast<int>(1120 * x), area.width());
        EXPECT_LE(static_cast<int>(697 * y), area.height());
    }
}

TEST_F(MainWindowModes, WindowManagerResizeThatPausesKeepsTheFinalSize)
{
    auto w = startWindow();
    Qt::Edges started;
    w->frame().setSystemResizeStarter([&](Qt::Edges edges) {
        started = edges;
        return true;  // the window manager takes the drag over
    });
    int applied = 0;
    QObject::connect(w.get(), &CdedoradeDlg::resizeApplied, [&] { ++applied; });
    sendMouse(w.get(), QEvent::MouseButtonPress, {w->width() - 2, w->height() - 2},
              Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(started, Qt::RightEdge | Qt::BottomEdge);
    // The window manager's steps, with a pause after the first one.
    w->resize(1232, 767);
    ASSERT_TRUE(waitUntil([&] { return applied == 1; }, 3000));
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.100000");
    waitUntil([] { return false; }, QApplication::doubleClickInterval());
    w->resize(1400, 836);
    ASSERT_TRUE(waitUntil([&] { return applied == 2; }, 3000));
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.250000");
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), QString::asprintf("%f", 836.0f / 697.0f));
    EXPECT_EQ(w->frame().normalRect().size(), QSize(1400, 836));
    // The drag is over once the pointer moves in the window again.
    sendMouse(w.get(), QEvent::MouseMove, {500, 300}, Qt::NoButton, Qt::NoButton);
    w->Shutdown();
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.250000");
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), QString::asprintf("%f", 836.0f / 697.0f));
}

// The caption strip under a window manager: a click or a double-click never hands the window to
// the window manager (which would take the second click, so that a double-click would never
// maximise); only a drag beyond the drag distance does. Without a window manager the window
// follows the mouse itself, keeping the pressed point under it.
TEST_F(MainWindowModes, CaptionDoubleClickMaximisesAndOnlyADragMovesTheWindow)
{
    auto w = startWindow();
    int systemMoves = 0;
    bool windowManager = true;
    w->frame().captionDrag().setSystemMoveStarter([&] {
        ++systemMoves;
        return windowManager;
    });
    const QPoint at(500, 10);
    sendMouse(w.get(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseMove, at + QPoint(1, 0), Qt::NoButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    sendMouse(w.get(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(systemMoves, 0);
    ASSERT_TRUE(waitUntil([&] { return w->isMaximized(); }, 3000));
    w->MaximiseCommand();
    ASSERT_TRUE(waitUntil([&] { return !w->isMaximized(); }, 3000));

    // A drag: the window manager moves the window, once.
    const QPoint start = w->pos();
    sendMouse(w.get(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseMove, at + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseMove, at + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    sendMouse(w.get(), QEvent::MouseButtonRelease, at + QPoint(40, 30), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(systemMoves, 1);
    EXPECT_EQ(w->pos(), start);
    // No window manager: the window follows.
    windowManager = false;
    sendMouse(w.get(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(30, 20)),
                     QPointF(w->mapToGlobal(at) + QPoint(30, 20)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w.get(), &move);
    sendMouse(w.get(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(systemMoves, 2);
    EXPECT_EQ(w->pos(), start + QPoint(30, 20));
}

TEST_F(MainWindowModes, MaximiseRestoreAndTheLayoutSavedWhileMaximised)
{
    writeIni("[DISPLAY]\r\nSCALEX=1.250000\r\nSCALEY=1.100000\r\n");
    auto w = startWindow();
    const QRect normal = w->geometry();
    EXPECT_EQ(normal.size(), QSize(1400, 766));
    int maximisedSignals = 0;
    QObject::connect(w.get(), &CdedoradeDlg::maximisedChanged, [&](bool) { ++maximisedSignals; });

    // A double-click on the caption maximises to the work area; there the whole top strip is
    // caption and a drag does not move the window.
    sendMouse(w.get(), QEvent::MouseButtonDblClick, {500, 10}, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil(
        [&] { return w->isMaximized() && w->geometry() == w->screen()->availableGeometry(); },
        3000));
    EXPECT_EQ(w->layoutRects().video.width(), 1920 - 12 - 440 - 12);
    EXPECT_GE(maximisedSignals, 1);
    const QRect maxRect = w->geometry();
    drag(w.get(), {2, 2}, {300, 200});
    EXPECT_EQ(w->geometry(), maxRect);
    EXPECT_EQ(w->frame().normalRect(), normal);

    // The title-bar button restores the normal rectangle.
    w->MaximiseCommand();
    ASSERT_TRUE(waitUntil([&] { return !w->isMaximized() && w->geometry() == normal; }, 3000));

    // Maximised again and closed: the normal rectangle's factors are saved, even with the keys
    // cleared in between.
    w->MaximiseCommand();
    ASSERT_TRUE(waitUntil([&] { return w->isMaximized(); }, 3000));
    ASSERT_TRUE(IniFile(iniPath()).write("DISPLAY", "SCALEX", ""));
    ASSERT_TRUE(IniFile(iniPath()).write("DISPLAY", "SCALEY", ""));
    w->CloseCommand();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.250000");
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), QString::asprintf("%f", 766.0f / 697.0f));

    // Minimise remembers that the button did it.
    auto again = startWindow();
    EXPECT_EQ(again->size(), QSize(1400, 766));
    again->MinimiseCommand();
    EXPECT_TRUE(again->frame().minimisedByButton());
    // Full screen needs a ready recording: refused on an empty folder.
    EXPECT_FALSE(again->ToggleFullScreen());
    EXPECT_FALSE(again->isFullScreenMode());
    again->Shutdown();
}

// The title-bar buttons run the window's own commands, as the keys and the video menu do: each
// click is announced as its command, a maximise and a restore give back the normal rectangle,
// a minimise is remembered as the button's, and the close button shuts the window down.
TEST_F(MainWindowModes, TitleBarButtonsRunTheWindowsCommands)
{
    auto w = startWindow();
    const QRect normal = w->geometry();
    std::vector<Command> dispatched;
    QObject::connect(w.get(), &CdedoradeDlg::commandDispatched,
                     [&](Command command) { dispatched.push_back(command); });
    const auto click = [&](const char* name) {
        auto* b = w->findChild<CSkinButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name;
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    };

    click("titleMaximise");
    ASSERT_TRUE(waitUntil([&] { return w->isMaximized(); }, 3000));
    EXPECT_EQ(w->frame().normalRect(), normal);
    click("titleMaximise");
    ASSERT_TRUE(waitUntil([&] { return !w->isMaximized() && w->geometry() == normal; }, 3000));

    click("titleMinimise");
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(w->frame().minimisedByButton());
    w->showNormal();
    EXPECT_FALSE(w->frame().minimisedByButton());

    click("titleThumbnail");
    EXPECT_TRUE(w->thumbnailMode());
    click("titleClose");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(dispatched, (std::vector<Command>{Command::kMaximise, Command::kMaximise, Command::kMinimise,
                                                Command::kThumbnail, Command::kClose}));
}

TEST_F(MainWindowModes, AnotherMonitorRebuildsScaleFontsAndLayoutKeepingTheFactors)
{
    writeIni("[DISPLAY]\r\nSCALEX=1.200000\r\nSCALEY=1.000000\r\n");
    auto w = startWindow();
    ASSERT_FLOAT_EQ(LayoutScale(), 1.0f);
    const int font10 = SharedFont(kFont10).pixelSize() > 0 ? SharedFont(kFont10).pixelSize()
                                                           : SharedFont(kFont10).pointSize();
    int rebuilt = 0;
    QObject::connect(w.get(), &CdedoradeDlg::fontsRebuilt, [&] { ++rebuilt; });
    // Onto the 1320-pixel screen: layout scale 1.25.
    w->move(2100, 20);
    ASSERT_TRUE(waitUntil([&] { return rebuilt > 0; }, 3000));
    EXPECT_FLOAT_EQ(LayoutScale(), 1.25f);
    EXPECT_EQ(w->size(), QSize(static_cast<int>(1400 * 1.2f), 871));
    EXPECT_EQ(w->minimumSize(), QSize(1400, 871));
    const int font10After = SharedFont(kFont10).pixelSize() > 0 ? SharedFont(kFont10).pixelSize()
                                                                : SharedFont(kFont10).pointSize();
    EXPECT_GT(font10After, font10);
    EXPECT_EQ(w->layoutRects().fileBrowser.width(), 564);  // 550 + 7 + 7 at scale 1.25
    EXPECT_FLOAT_EQ(w->frame().scaleX(), 1.2f);
    EXPECT_EQ(w->movieDialog()->size(), QSize(564, 460));
    // The settings dialog and the panel's toggles are laid out at the new scale.
    EXPECT_EQ(w->settingsDialog()->size(), QSize(575, 393));
    EXPECT_EQ(w->infoView()->axisToggle(0)->width(), 15);
    // The folder tree and the file list take the rebuilt 13-point font.
    for (const char* name : {"ravir::CFolderTreeCtrl", "ravir::CFileListCtrl"}) {
        const QWidget* view = nullptr;
        for (QWidget* child : w->browser()->findChildren<QWidget*>())
            if (child->inherits(name))
                view = child;
        ASSERT_NE(view, nullptr) << name;
        EXPECT_EQ(view->font(), SharedFont(kFont13)) << name;
    }
    // And back.
    w->move(40, 30);
    ASSERT_TRUE(waitUntil([&] { return LayoutScale() == 1.0f; }, 3000));
    EXPECT_EQ(w->size(), QSize(1344, 697));
    EXPECT_EQ(w->settingsDialog()->size(), QSize(460, 315));
    w->Shutdown();
}

TEST_F(MainWindowModes, ThumbnailSwitchMapWindowAndUpdateCheck)
{
    // THUMBNAIL=2 shows the thumbnails; the next switch writes "0", then "1".
    writeIni("[DISPLAY]\r\nTHUMBNAIL=2\r\n[UPDATE]\r\nHOST=http://127.0.0.1:9\r\n");
    auto w = startWindow();
    EXPECT_TRUE(w->thumbnailMode());
    w->ThumbnailCommand();
    EXPECT_FALSE(w->thumbnailMode());
    EXPECT_EQ(ini("DISPLAY", "THUMBNAIL"), "0");
    w->ThumbnailCommand();
    EXPECT_EQ(ini("DISPLAY", "THUMBNAIL"), "1");
    // The update check started at the deferred start because the host is set.
    EXPECT_TRUE(w->updateCheck()->started());

    // The map window: 452 x 368, beside the main window, titled for a main camera; M toggles.
    // It is placed when it is first shown, beside where the main window is by then (a window
    // manager places a new window after the program has shown it).
    CMovieDialog* map = w->movieDialog();
    EXPECT_FALSE(map->isVisible());
    w->move(300, 200);
    w->SwitchMapCommand();
    EXPECT_TRUE(w->mapShown());
    EXPECT_TRUE(map->isVisible());
    EXPECT_EQ(map->size(), QSize(452, 368));
    EXPECT_EQ(map->geometry().topLeft(), QPoint(w->frameGeometry().right() + 1, w->y()));
    EXPECT_EQ(map->windowTitle(), text(TXT_MAP));
    EXPECT_TRUE(map->placeholder()->isVisible());  // no position yet: the placeholder
    EXPECT_FALSE(map->placeholder()->noInternet());
    map->move(10, 500);  // it keeps its own position afterwards
    // On an empty folder the map button is off, and so is its key M.
    EXPECT_FALSE(w->isCommandEnabled(Command::kSwitchMap));
    QKeyEvent m(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier, "m");
    QApplication::sendEvent(w.get(), &m);
    EXPECT_TRUE(map->isVisible());
    // The map button looks pressed exactly while the map window is switched on.
    auto* mapButton = w->findChild<CSkinButton*>(QStringLiteral("button38013"));
    ASSERT_TRUE(mapButton);
    EXPECT_TRUE(mapButton->pressedLook());
    w->SwitchMapCommand();
    EXPECT_FALSE(map->isVisible());
    EXPECT_FALSE(mapButton->pressedLook());
    w->SwitchMapCommand();
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(mapButton->pressedLook());
    EXPECT_EQ(map->pos(), QPoint(10, 500));
    // The map page reports it is not available while a position exists: the second picture.
    w->mapShellInput().hasPosition = true;
    w->mapShellInput().pageUnavailable = true;
    w->RefreshMapShell();
    EXPECT_TRUE(map->placeholder()->noInternet());

    // The shutdown stops the update check and hides the map window.
    w->CloseCommand();
    EXPECT_FALSE(map->isVisible());
}

TEST_F(MainWindowModes, NoUpdateCheckWithoutHost)
{
    auto w = startWindow();
    EXPECT_FALSE(w->updateCheck()->started());
    EXPECT_FALSE(w->thumbnailMode());
    EXPECT_FALSE(w->isCommandEnabled(Command::kCsv));  // CSV: not for a folder source
    w->Shutdown();
}

TEST_F(MainWindowModes, WholeSessionOnASampleCard)
{
    // A small card whose ordinary recordings last 4 s (the first row plays at once).
    samples::SampleCardOptions o = samples::SmallCardOptions();
    o.seconds = 4.0;
    o.allKinds = false;
    QString error;
    const QString card = test::sampleCard("mainwindow-session", o, &error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    auto w = startWindow(card);
    ASSERT_TRUE(waitUntil([&] { return w->session()->slotReady(0); }, 10000));
    ASSERT_GT(w->browser()->rowCount(), 0);
    // A main camera recording long enough to play (the card also holds very short ones).
    RecordingRecord record;
    const QStringList movies =
        QDir(card + "/Normal").entryList({"*M.MOV"}, QDir::Files, QDir::Name);
    for (const QString& name : movies) {
        const auto timing = ProbeMovieTiming(card + "/Normal/" + name);
        if (timing && !timing->tooShort && timing->frameCount > 40) {
            record.path = card + "/Normal/" + name;
            break;
        }
    }
    ASSERT_FALSE(record.path.isEmpty());
    ASSERT_EQ(w->OpenRecording(record), 1);
    ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady(); }, 15000));
    EXPECT_TRUE(w->isCommandEnabled(Command::kCsv));  // CSV: a card with recordings
    Player& main = *w->session()->player(0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    ASSERT_GT(main.GetFrameCount(), 20);
    EXPECT_FALSE(w->session()->currentPath().isEmpty());

    // Resized by its border.
    bool applied = false;
    QObject::connect(w.get(), &CdedoradeDlg::resizeApplied, [&] { applied = true; });
    drag(w.get(), {w->width() - 2, w->height() - 2}, {224, 139});
    EXPECT_EQ(w->size(), QSize(1344, 836));
    ASSERT_TRUE(waitUntil([&] { return applied; }, 3000));
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.200000");
    const QRect normal = w->geometry();

    // The aspect command stretches and writes "off".
    w->AspectCommand();
    EXPECT_FALSE(w->aspectKeep());
    EXPECT_EQ(ini("DISPLAY", "ASPECT"), "off");
    EXPECT_EQ(main.state().aspectMode, 0);

    // A double-click on the video: full screen over the monitor, the panes hidden.
    w->SwitchMapCommand();
    ASSERT_TRUE(w->movieDialog()->isVisible());
    QWidget* video = w->videoSurface();
    sendMouse(video, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(video, QEvent::MouseButtonRelease, {100, 100}, Qt::LeftButton, Qt::NoButton);
    sendMouse(video, QEvent::MouseButtonDblClick, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(w->isFullScreenMode());
    ASSERT_TRUE(waitUntil([&] { return w->geometry() == w->screen()->geometry(); }, 3000));
    EXPECT_EQ(video->geometry(), QRect(QPoint(0, 0), w->screen()->geometry().size()));
    EXPECT_FALSE(w->browser()->isVisible());
    EXPECT_FALSE(w->movieDialog()->isVisible());
    EXPECT_FALSE(w->movieDialog()->placeholder()->isVisible());
    // ... and back: the aspect ratio is kept again, the panes and the map return, the normal
    // rectangle is restored.
    sendMouse(video, QEvent::MouseButtonDblClick, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(w->isFullScreenMode());
    ASSERT_TRUE(waitUntil([&] { return w->geometry() == normal; }, 3000));
    EXPECT_TRUE(w->aspectKeep());
    EXPECT_EQ(ini("DISPLAY", "ASPECT"), "on");
    EXPECT_EQ(main.state().aspectMode, 1);
    EXPECT_TRUE(w->browser()->isVisible());
    EXPECT_TRUE(w->movieDialog()->isVisible());
    EXPECT_EQ(video->geometry(), w->layoutRects().video);

    // Zoom mode: a double-click does not go full screen; single clicks magnify up to 3.
    w->ZoomCommand();
    ASSERT_TRUE(w->zoomMode());
    EXPECT_FALSE(w->ToggleFullScreen());
    int clicks = 0;
    QObject::connect(w.get(), &CdedoradeDlg::videoClicked, [&](QPoint) { ++clicks; });
    sendMouse(video, QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(clicks, 0);  // reported only after the double-click time
    ASSERT_TRUE(waitUntil([&] { return clicks == 1; }, 3000));
    EXPECT_FLOAT_EQ(w->videoZoom().magnification, 2.0f);
    EXPECT_FLOAT_EQ(main.state().zoom, 2.0f);
    w->ZoomCommand();
    EXPECT_FLOAT_EQ(w->videoZoom().magnification, 1.0f);
    EXPECT_FLOAT_EQ(main.state().zoom, 1.0f);

    // Near the end of the recording full screen is refused.
    w->StepFrames(static_cast<int>(main.GetFrameCount()) - 5);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    EXPECT_FALSE(w->ToggleFullScreen());
    w->StepFrames(-(1 << 30));
    ASSERT_TRUE(main.WaitSeekDone(5000));

    // A background task: progress bar over the video, no full screen meanwhile; the shutdown
    // waits for it.
    std::atomic<bool> taskDone{false};
    ASSERT_TRUE(w->StartBackgroundTask([&] {
        QThread::msleep(400);
        taskDone = true;
    }));
    EXPECT_FALSE(w->StartBackgroundTask([] {}));
    auto* bar = w->findChild<CSkinProgressBarCtrl*>("progressBarCtrl");
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry(), w->layoutRects().progressBarBusy);
    EXPECT_FALSE(w->ToggleFullScreen());

    // Into full screen once more is possible only after the task; close from there: the
    // shutdown waits for the task, leaves full screen and saves the normal rectangle's factors.
    w->CloseCommand();
    EXPECT_TRUE(taskDone.load());
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->session()->ready());
    EXPECT_TRUE(w->session()->currentPath().isEmpty());
    EXPECT_FALSE(w->session()->slotReady(0));
    EXPECT_EQ(ini("DISPLAY", "SCALEX"), "1.200000");
    EXPECT_EQ(ini("DISPLAY", "SCALEY"), QString::asprintf("%f", 836.0f / 697.0f));
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A command whose button is off does nothing from its key either: the delete list never opens
// for a single movie file, and the joined save and the CSV export never start on a folder.
TEST_F(MainWindowModes, KeysRunOnlyTheCommandsTheirButtonsAllow)
{
    QString error;
    const QString card = test::windowTestCard(&error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    const QStringList movies = QDir(card + "/Normal").entryList({"*M.MOV"}, QDir::Files, QDir::Name);
    ASSERT_FALSE(movies.isEmpty());

    struct Row {
        QString source;
        int mode;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        Command command;
    };
    const Row rows[] = {
        {card + "/Normal/" + movies.front(), 3, Qt::Key_Delete, Qt::NoModifier, Command::kDelete},
        {card + "/Normal", 2, Qt::Key_J, Qt::ControlModifier, Command::kSaveJoined},
        {card + "/Normal", 2, Qt::Key_E, Qt::ControlModifier, Command::kCsv},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.command));
        auto w = startWindow(row.source);
        ASSERT_EQ(static_cast<int>(w->catalogue().mode()), row.mode);
        ASSERT_TRUE(waitUntil([&] { return w->browser()->rowCount() > 0; }, 5000));
        EXPECT_FALSE(w->isCommandEnabled(row.command));
        // Whatever dialog the command would open is closed again, so the test never waits.
        int modals = 0;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* m = QApplication::activeModalWidget()) {
                ++modals;
                m->close();
            }
        });
        closer.start(20);
        int dispatched = 0;
        QObject::connect(w.get(), &CdedoradeDlg::commandDispatched, [&](Command command) {
            dispatched += command == row.command;
        });
        QKeyEvent press(QEvent::KeyPress, row.key, row.modifiers);
        QApplication::sendEvent(w.get(), &press);
        waitUntil([] { return false; }, 300);
        EXPECT_EQ(dispatched, 0);
        EXPECT_EQ(modals, 0);
        EXPECT_FALSE(w->backgroundTaskRunning());
        w->Shutdown();
    }
}

// The update check hears the card's GPS data version (the six digits the recorder writes after
// its telemetry), so that a newer GPS data file on the maker's host is offered. The host is a
// small server on 127.0.0.1 that the test starts.
TEST_F(MainWindowModes, UpdateCheckComparesTheCardsGpsDataVersion)
{
    QTemporaryDir server;
    ASSERT_TRUE(server.isValid());
    const QString routes = server.filePath("routes.json");
    {
        QFile f(routes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"/gps_data/drgps_01.txt": {"body": "240101\r\n"}})");
    }
    QProcess http;
    http.start("python3", {QStringLiteral(RAVIR_SOURCE_DIR "/tests/update/update_server.py"), routes});
    ASSERT_TRUE(http.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return http.canReadLine(); }, 10000));
    const int port = http.readLine().trimmed().toInt();
    ASSERT_GT(port, 0);
    qputenv("no_proxy", "127.0.0.1,localhost");
    writeIni(QStringLiteral("[UPDATE]\r\nHOST=http://127.0.0.1:%1\r\n").arg(port).toUtf8());

    QString error;
    const QString card = test::windowTestCard(&error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();
    auto w = startWindow(card);
    ASSERT_EQ(w->catalogue().recorderInfo().number, QString("231015"));
    ASSERT_TRUE(w->updateCheck()->started());
    ASSERT_TRUE(waitUntil([&] { return !w->updateCheck()->text().isEmpty(); }, 15000));
    EXPECT_TRUE(w->updateCheck()->text().contains(text(TXT_GPS_DATA_INFO)));
    EXPECT_TRUE(w->updateCheck()->text().contains("23/10/15"));
    EXPECT_TRUE(w->updateCheck()->text().contains("24/01/01"));
    w->Shutdown();
    http.kill();
    http.waitForFinished(5000);
}
