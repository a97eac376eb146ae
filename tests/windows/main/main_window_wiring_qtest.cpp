// The main window with its parts connected, end to end on a sample card: the play clock moves
// the position slider with the main camera's frame, and the keys and transport buttons drive
// both cameras. A program of its own (GoogleTest with its own main) on Qt's offscreen platform.
#include "window_card_test.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/main/mpris_service.h"
#include "windows/main/window_mpris.h"
#include "windows/main/window_report.h"
#include "playback/report_picture.h"
#include "windows/main/command.h"
#include "windows/main/movie_menu.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_progress.h"
#include "windows/kit/skin_slider.h"
#include "windows/main/recording_sequencer.h"
#include "windows/main/recording_session.h"
#include "windows/main/task_runner.h"
#include "playback/dual_surface.h"
#include "playback/player.h"
#include "shell/ui_text.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/views/info_format.h"
#include "windows/views/recording_telemetry.h"
#include "media_probe.h"
#include "sample_data.h"
#include "shell/ini_keys.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <gtest/gtest.h>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(w, &press);
}

class MainWindowWiring : public test::WindowCardTest {
protected:
    // A copy of the shared card that a test may change.
    void useCopyOfCard()
    {
        ASSERT_TRUE(copy_.isValid());
        QDirIterator it(card_, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString from = it.next();
            const QString to = copy_.path() + "/card/" + QDir(card_).relativeFilePath(from);
            ASSERT_TRUE(QDir().mkpath(QFileInfo(to).path()));
            ASSERT_TRUE(QFile::copy(from, to));
        }
        card_ = copy_.path() + "/card";
    }

    // The window on the card; the start-up opens row 0 of the file list.
    std::unique_ptr<CdedoradeDlg> startWindow()
    {
        CdedoradeDlg::Options o;
        o.source = card_;
        auto w = std::make_unique<CdedoradeDlg>(o);
        w->move(40, 30);
        w->show();
        EXPECT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady(); }, 15000));
        return w;
    }

    QTemporaryDir copy_;
};

}  // namespace

TEST_F(MainWindowWiring, PlayClockMovesTheSliderAndTheTransportDrivesBothCameras)
{
    auto w = startWindow();
    ASSERT_TRUE(w->session()->ready());
    Player& main = *w->session()->player(0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    auto* slider = w->findChild<CSkinSliderCtrl*>(QStringLiteral("positionSliderCtrl"));
    ASSERT_TRUE(slider);
    EXPECT_TRUE(w->session()->playClockActive());
    EXPECT_EQ(slider->maximum(), main.GetFrameCount());
    EXPECT_EQ(w->session()->shownFrame(), 0);

    // The recording's telemetry reaches the graph and the panel, which fill their panes.
    ASSERT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 10000));
    ASSERT_TRUE(w->graphView()->telemetry());
    EXPECT_GT(w->graphView()->telemetry()->frameCount(), 0);
    EXPECT_EQ(w->graphView()->size(), w->layoutRects().graph.size());
    EXPECT_EQ(w->infoView()->size(), w->layoutRects().infoPanel.size());

    // Space plays; the clock carries the slider, the graph cursor and the panel along with the
    // main camera's frame.
    key(w.get(), Qt::Key_Space);
    EXPECT_EQ(main.state().playState, kPlaying);
    ASSERT_TRUE(waitUntil([&] { return w->session()->shownFrame() >= 15; }, 5000));
    EXPECT_EQ(slider->position(), w->session()->shownFrame());
    EXPECT_EQ(w->graphView()->currentFrame(), w->session()->shownFrame());
    EXPECT_EQ(w->infoView()->fields().position, w->session()->shownFrame());
    EXPECT_NE(w->infoView()->fields().accel[0], kNoAcceleration);
    EXPECT_LE(std::abs(main.GetCurrentFrame() - w->session()->shownFrame()), 5);
    // The buttons follow: playing, the first-frame, slower and faster buttons can be pressed.
    for (int id : {38000, 38003, 38004})
        EXPECT_TRUE(w->findChild<QWidget*>(QStringLiteral("button%1").arg(id))->isEnabled()) << id;
    // V cycles the surface: the sub camera, the main camera with the sub camera inset, the main
    // camera again.
    ASSERT_TRUE(w->session()->player(1)->IsReady());
    key(w.get(), Qt::Key_V);
    EXPECT_EQ(w->dualSurface()->view(), DisplayView::Sub);
    EXPECT_EQ(w->dualSurface()->subArea(), w->dualSurface()->rect());
    key(w.get(), Qt::Key_V);
    EXPECT_EQ(w->dualSurface()->view(), DisplayView::MainWithSubInset);
    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
        w->grab().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + "/wired_window.png");
    key(w.get(), Qt::Key_V);
    EXPECT_EQ(w->dualSurface()->view(), DisplayView::Main);

    // ] and [ step the rate while playing: x2, back to x1, then x0.5.
    key(w.get(), Qt::Key_BracketRight);
    EXPECT_EQ(w->rateCode(), 2);
    key(w.get(), Qt::Key_BracketLeft);
    EXPECT_EQ(w->rateCode(), 1);
    key(w.get(), Qt::Key_BracketLeft);
    EXPECT_EQ(w->rateCode(), -2);
    key(w.get(), Qt::Key_BracketRight);
    EXPECT_EQ(w->rateCode(), 1);

    // The play button pauses; the views stay on the frame it stopped at.
    auto* play = w->findChild<CSkinButton*>(QStringLiteral("button38002"));
    QTest::mouseClick(play, Qt::LeftButton, {}, play->rect().center());
    EXPECT_EQ(main.state().playState, kPaused);
    ASSERT_TRUE(main.WaitSeekDone(2000));
    waitUntil([] { return false; }, 100);
    const int paused = main.GetCurrentFrame();
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(main.GetCurrentFrame(), paused);

    // The slider's release seeks both cameras; the views show the target at once.
    Q_EMIT slider->pressed(38100, 30);
    Q_EMIT slider->released(38100, 30);
    EXPECT_EQ(w->session()->shownFrame(), 30);
    EXPECT_EQ(w->graphView()->currentFrame(), 30);
    EXPECT_EQ(w->infoView()->fields().position, 30);
    // The media controls see the same position and seek the same way.
    const MprisState st = w->mpris()->target()->mprisState();
    EXPECT_EQ(st.status, MprisState::Status::Paused);
    EXPECT_EQ(st.positionUs, static_cast<qint64>(30 * main.GetFrameMs() * 1000.0));
    EXPECT_EQ(st.moviePath, w->session()->currentPath());
    w->mpris()->target()->mprisSeek(static_cast<qint64>(45 * main.GetFrameMs() * 1000.0 + 10));
    EXPECT_EQ(w->session()->shownFrame(), 45);
    w->mpris()->target()->mprisSeek(static_cast<qint64>(30 * main.GetFrameMs() * 1000.0 + 10));
    ASSERT_TRUE(main.WaitSeekDone(5000));
    EXPECT_EQ(main.GetCurrentFrame(), 30);

    // Right steps one frame; the first-frame button goes back to 0.
    key(w.get(), Qt::Key_Right);
    EXPECT_EQ(w->session()->shownFrame(), 31);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    EXPECT_EQ(main.GetCurrentFrame(), 31);
    auto* first = w->findChild<CSkinButton*>(QStringLiteral("button38000"));
    EXPECT_TRUE(first->toolTip().endsWith(QStringLiteral("(Home)")));
    QTest::mouseClick(first, Qt::LeftButton, {}, first->rect().center());
    EXPECT_EQ(w->session()->shownFrame(), 0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    EXPECT_EQ(main.GetCurrentFrame(), 0);

    // PageDown opens the next row's recording, PageUp the previous one again.
    ASSERT_GT(w->browser()->rowCount(), 1);
    const QString firstPath = w->session()->currentPath();
    key(w.get(), Qt::Key_PageDown);
    ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady() && w->session()->currentPath() != firstPath; }, 15000));
    key(w.get(), Qt::Key_PageUp);
    ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady() && w->session()->currentPath() == firstPath; }, 15000));
    EXPECT_EQ(w->session()->shownFrame(), 0);
    w->Shutdown();
    EXPECT_FALSE(w->session()->playClockActive());
}

// The keys are the window's wherever the keyboard focus rests in it: a click on the folder tree
// or the file list leaves the focus there, and those views have their own use for Space, the
// arrows and the page keys.
TEST_F(MainWindowWiring, KeysReachTheWindowWhileTheBrowserHasTheFocus)
{
    auto w = startWindow();
    ASSERT_TRUE(w->session()->ready());
    Player& main = *w->session()->player(0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTreeWidget* list = w->browser()->listCtrl();
    QTreeWidget* tree = w->browser()->treeCtrl();
    const QString firstPath = w->session()->currentPath();

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(main.state().playState, kPlaying);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(main.state().playState, kPaused);
    EXPECT_EQ(w->session()->currentPath(), firstPath);
    ASSERT_TRUE(main.WaitSeekDone(5000));

    // On the tree Home is the first frame and Right one frame on, instead of moving through
    // the tree; V switches the view.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Home);
    EXPECT_EQ(w->session()->shownFrame(), 0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    QTest::keyClick(tree, Qt::Key_Right);
    EXPECT_EQ(w->session()->shownFrame(), 1);
    QTest::keyClick(tree, Qt::Key_V);
    EXPECT_EQ(w->dualSurface()->view(), DisplayView::Sub);
    QTest::keyClick(tree, Qt::Key_V);
    QTest::keyClick(tree, Qt::Key_V);
    EXPECT_EQ(w->dualSurface()->view(), DisplayView::Main);

    // PageDown on the list is the next recording, not a page of rows.
    ASSERT_GT(w->browser()->rowCount(), 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_PageDown);
    ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady() && w->session()->currentPath() != firstPath; }, 15000));
    EXPECT_EQ(w->session()->currentPath(), w->browser()->listCtrl()->recordAt(1)->path);
    w->Shutdown();
}

// The source dialog closes the recording before it asks. Cancelled, nothing is open: the list
// marks no row as open, and the next row chosen (here row 0 again, by a kind button) opens.
// Kind buttons that leave the list empty stop the recording that played and clear the panes;
// turning a kind on again opens the list's first row.
TEST_F(MainWindowWiring, AnEmptiedListStopsPlaybackAndClearsThePanes)
{
    auto w = startWindow();
    Player& main = *w->session()->player(0);
    ASSERT_TRUE(main.WaitSeekDone(5000));
    QTest::keyClick(w.get(), Qt::Key_Space);
    ASSERT_EQ(main.state().playState, kPlaying);
    std::vector<QAbstractButton*> kinds;
    for (int i = 0; i < 5; ++i) {
        auto* b = w->browser()->findChild<QAbstractButton*>(QStringLiteral("kind%1").arg(i));
        ASSERT_TRUE(b);
        kinds.push_back(b);
    }
    for (QAbstractButton* b : kinds)
        if (b->isChecked())
            b->click();
    ASSERT_EQ(w->browser()->rowCount(), 0);
    EXPECT_FALSE(w->session()->ready());
    EXPECT_FALSE(w->session()->telemetryReady());
    EXPECT_NE(main.state().playState, kPlaying);
    EXPECT_TRUE(w->session()->currentPath().isEmpty());
    EXPECT_EQ(w->session()->shownFrame(), -1);
    EXPECT_FALSE(w->graphView()->telemetry());
    EXPECT_FALSE(w->isCommandEnabled(Command::kPlay));
    waitUntil([] { return false; }, 300);
    EXPECT_NE(main.state().playState, kPlaying);

    kinds.front()->click();  // continuous on: the first row opens
    ASSERT_GT(w->browser()->rowCount(), 0);
    EXPECT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady(); }, 15000));
    w->Shutdown();
}

TEST_F(MainWindowWiring, AfterACancelledSourceDialogTheListOpensItsRowAgain)
{
    auto w = startWindow();
    ASSERT_TRUE(w->session()->ready());
    bool asked = false;
    QTimer::singleShot(200, [&] {
        if (QWidget* dlg = QApplication::activeModalWidget()) {
            asked = true;
            static_cast<QDialog*>(dlg)->reject();
        }
    });
    key(w.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(asked);
    EXPECT_TRUE(w->session()->currentPath().isEmpty());
    EXPECT_EQ(w->browser()->listCtrl()->playingRow(), -1);

    // A kind button refills the list and chooses row 0, which opens.
    w->browser()->setKindFlag(2, false);
    ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady(); }, 15000));
    EXPECT_EQ(w->session()->currentPath(), w->browser()->listCtrl()->recordAt(0)->path);
    EXPECT_EQ(w->browser()->listCtrl()->playingRow(), 0);
    w->Shutdown();
}

TEST_F(MainWindowWiring, DeleteButtonRemovesTheTickedRecordingAndReopensTheList)
{
    useCopyOfCard();
    auto w = startWindow();
    ASSERT_TRUE(w->session()->ready());
    // The thumbnail switch reaches the file browser.
    auto* thumbs = w->findChild<CSkinButton*>(QStringLiteral("titleThumbnail"));
    QTest::mouseClick(thumbs, Qt::LeftButton, {}, thumbs->rect().center());
    EXPECT_TRUE(w->browser()->thumbnailMode());
    EXPECT_TRUE(thumbs->pressedLook());
    QTest::mouseClick(thumbs, Qt::LeftButton, {}, thumbs->rect().center());
    EXPECT_FALSE(w->browser()->thumbnailMode());

    // The delete button: the tick list (row 1 ticked), the question answered with OK, the
    // deletion as the background task, then the list anew and row 0 open again.
    const int rows = w->browser()->rowCount();
    ASSERT_GT(rows, 1);
    const QString gone = w->browser()->listCtrl()->recordAt(1)->path;
    const QString open = w->session()->currentPath();
    ASSERT_NE(gone, open);
    ASSERT_TRUE(QFileInfo::exists(gone));
    w->listCommands()->setSelectionRunner([](CFileSelectDlg& dlg) {
        dlg.setTicked(1, true);
        return dlg.confirm();
    });
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    bool finished = false;
    QObject::connect(w->listCommands(), &CListCommands::taskFinished, [&] { finished = true; });
    auto* del = w->findChild<CSkinButton*>(QStringLiteral("button38010"));
    QTest::mouseClick(del, Qt::LeftButton, {}, del->rect().center());
    ASSERT_TRUE(waitUntil([&] { return finished; }, 15000));
    CMsgBox::setAutoAnswer(0);
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_TRUE(QFileInfo::exists(gone.left(gone.size() - 3) + QStringLiteral("DMY")));
    EXPECT_TRUE(QFileInfo::exists(open));
    ASSERT_GT(w->browser()->rowCount(), 0);
    for (int row = 0; row < w->browser()->rowCount(); ++row)
        EXPECT_NE(w->browser()->listCtrl()->recordAt(row)->path, gone);
    ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady(); }, 15000));
    EXPECT_EQ(w->session()->currentPath(), w->browser()->listCtrl()->recordAt(0)->path);
    EXPECT_TRUE(w->session()->playClockActive());
    w->Shutdown();
}

// Every press of PageDown moves on one recording, also while the one chosen by the press before
// is still opening: five presses 140 ms apart end on the fifth next recording, and five PageUp
// presses come back to where they began.
TEST_F(MainWindowWiring, EveryPageKeyPressMovesOnOneRecording)
{
    // A card whose first folder lists a dozen recordings that play.
    samples::SampleCardOptions options = samples::SmallCardOptions();
    options.count = 12;
    options.seconds = 4.0;
    QString error;
    card_ = test::sampleCard(QStringLiteral("mainwindow-page-keys"), options, &error);
    ASSERT_FALSE(card_.isEmpty()) << error.toStdString();
    auto w = startWindow();
    ASSERT_TRUE(w->session()->ready());
    ASSERT_GE(w->browser()->rowCount(), 6);
    const int start = w->sequencer()->currentRow();
    ASSERT_EQ(start, 0);
    // The start-up opened row 0 without the open delay; rows chosen by the user wait for it,
    // so that passing over a row does not open it.
    EXPECT_EQ(w->sequencer()->openDelayTimer().interval(), 0);
    int moviesOpened = 0;
    QObject::connect(w->session(), &RecordingSession::mainMovieOpened, [&] { ++moviesOpened; });
    for (const auto& [keyCode, target] : {std::pair{Qt::Key_PageDown, start + 5}, std::pair{Qt::Key_PageUp, start}}) {
        SCOPED_TRACE(keyCode == Qt::Key_PageDown ? "PageDown" : "PageUp");
        ASSERT_TRUE(waitUntil([&] { return w->session()->telemetryReady() && !w->sequencer()->isOpening(); }, 15000));
        moviesOpened = 0;
        for (int press = 0; press < 5; ++press) {
            if (press > 0)
                waitUntil([] { return false; }, 140);
            key(w.get(), keyCode);
        }
        const QString expected = w->browser()->listCtrl()->recordAt(target)->path;
        // The recording opened at the end, ready, and nothing opens after it.
        ASSERT_TRUE(waitUntil([&] {
            return w->session()->telemetryReady() && !w->sequencer()->isOpening() && w->session()->currentPath() == expected;
        }, 20000)) << w->session()->currentPath().toStdString();
        waitUntil([] { return false; }, 700);
        EXPECT_EQ(w->session()->currentPath(), expected);
        EXPECT_EQ(w->sequencer()->currentRow(), target);
        EXPECT_EQ(w->browser()->listCtrl()->playingRow(), target);
        EXPECT_EQ(w->sequencer()->openDelayTimer().interval(), RecordingSequencer::kOpenDelayMs);
        EXPECT_EQ(moviesOpened, 1) << "the rows passed over were opened too";
    }
    w->Shutdown();
}

// Pulling the card (its folder removed) while a background task works on it: the CSV export of a
// 3,000-recording card ends there with whole real rows only, never placeholder rows for what it
// could no longer read, and no completion message; the window says the card is gone.
TEST_F(MainWindowWiring, PulledCardEndsTheCsvExportWithoutPlaceholdersOrCompletion)
{
    samples::SampleCardOptions options;
    options.count = 3000;
    options.tiny = true;
    QString error;
    const QString big = test::sampleCard(QStringLiteral("csv_pull_3000_tiny"), options, &error);
    ASSERT_FALSE(big.isEmpty()) << error.toStdString();
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    // The card is pulled as the task starts (before its first row) and once 200 rows are
    // written (part way through).
    for (const bool atStart : {true, false}) {
        SCOPED_TRACE(atStart ? "pulled as the export starts" : "pulled part way");
        QTemporaryDir copy, out;
        ASSERT_TRUE(copy.isValid() && out.isValid());
        const QString card = copy.path() + "/card";
        ASSERT_TRUE(test::linkTree(big, card));
        CdedoradeDlg::Options o;
        o.source = card;
        auto w = std::make_unique<CdedoradeDlg>(o);
        bool started = false;
        QObject::connect(w.get(), &CdedoradeDlg::deferredStartDone, [&] { started = true; });
        w->move(40, 30);
        w->show();
        ASSERT_TRUE(waitUntil([&] { return started && w->browser()->rowCount() > 0 && !w->sequencer()->isOpening(); }, 60000));
        waitUntil([] { return false; }, 600);
        CMsgBox::takeShown();  // the tiny recordings are too short to play
        // After a failed open only Browse and Delete are offered; the export is started by its
        // runner, as its button does on a card whose recordings play.
        w->listCommands()->setFolderChooser([&](const IniKey&, int) { return out.path(); });
        bool pulled = false;
        const auto pull = [&] {
            if (!pulled)
                pulled = QDir(card).removeRecursively();
        };
        if (atStart) {
            QObject::connect(w->taskRunner(), &TaskRunner::started, pull);
        } else {
            QObject::connect(w->taskRunner(), &TaskRunner::progress, [&](qint64 done, qint64) {
                if (done >= 200)
                    pull();
            });
        }
        bool finished = false;
        QObject::connect(w->listCommands(), &CListCommands::taskFinished, [&] { finished = true; });
        ASSERT_TRUE(w->listCommands()->runCommand(38012));
        ASSERT_TRUE(waitUntil([&] { return finished; }, 60000));
        ASSERT_TRUE(pulled);
        QStringList shown;
        waitUntil([&] {
            for (const CMsgBox::Shown& m : CMsgBox::takeShown())
                shown << m.text;
            return shown.contains(text(TXT_MSG_SOURCE_GONE));
        }, 5000);
        waitUntil([] { return false; }, 300);
        for (const CMsgBox::Shown& m : CMsgBox::takeShown())
            shown << m.text;
        EXPECT_TRUE(shown.contains(text(TXT_MSG_SOURCE_GONE))) << shown.join('|').toStdString();
        EXPECT_FALSE(shown.contains(text(TXT_DONE))) << shown.join('|').toStdString();
        EXPECT_FALSE(w->backgroundTaskRunning());
        // What is left is the export as a stop leaves it: whole lines, each a real row.
        const QStringList left = QDir(out.path()).entryList(QDir::Files | QDir::Hidden);
        ASSERT_EQ(left.size(), 1) << left.join(' ').toStdString();
        QFile csv(QDir(out.path()).filePath(left[0]));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        const qsizetype lines = bytes.count('\n');
        EXPECT_LT(lines, 1 + 3000);
        std::printf("card pulled %s: %lld of 3000 rows kept\n", atStart ? "at the start" : "part way",
                    static_cast<long long>(lines - 1));
        if (atStart) {
            EXPECT_EQ(lines, 1);  // the header alone
        }
        EXPECT_FALSE(bytes.contains(",-,-,-,-,-,fps,0MB"));
        w->Shutdown();
    }
    CMsgBox::setAutoAnswer(0);
}

// The same for the deletion and the joined save: a card pulled as the task starts leaves no
// joined movie under its name and no completion message; the deletion says what was and what
// was not deleted.
TEST_F(MainWindowWiring, PulledCardDuringADeletionOrAJoinedSaveSaysHowFarItGot)
{
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    for (const Command command : {Command::kDelete, Command::kSaveJoined}) {
        SCOPED_TRACE(static_cast<int>(command));
        QTemporaryDir copy, out;
        ASSERT_TRUE(copy.isValid() && out.isValid());
        const QString card = copy.path() + "/card";
        ASSERT_TRUE(test::copyTree(card_, card));
        CdedoradeDlg::Options o;
        o.source = card;
        auto w = std::make_unique<CdedoradeDlg>(o);
        w->move(40, 30);
        w->show();
        ASSERT_TRUE(waitUntil([&] { return w->session()->ready(); }, 15000));
        ASSERT_GE(w->browser()->rowCount(), 3);
        CMsgBox::takeShown();
        const QString firstName = QFileInfo(w->browser()->listCtrl()->recordAt(0)->path).fileName();
        w->listCommands()->setFolderChooser([&](const IniKey&, int) { return out.path(); });
        w->listCommands()->setSelectionRunner([](CFileSelectDlg& dlg) {
            for (int row = 0; row < 3; ++row)
                dlg.setTicked(row, true);
            return dlg.confirm();
        });
        bool pulled = false;
        QObject::connect(w->taskRunner(), &TaskRunner::started, [&] { pulled = QDir(card).removeRecursively(); });
        bool finished = false;
        QObject::connect(w->listCommands(), &CListCommands::taskFinished, [&] { finished = true; });
        w->DispatchCommand(command);
        ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));
        ASSERT_TRUE(pulled);
        QStringList shown;
        waitUntil([&] {
            for (const CMsgBox::Shown& m : CMsgBox::takeShown())
                shown << m.text;
            return shown.contains(text(TXT_MSG_SOURCE_GONE));
        }, 5000);
        EXPECT_TRUE(shown.contains(text(TXT_MSG_SOURCE_GONE))) << shown.join('|').toStdString();
        EXPECT_FALSE(shown.contains(text(TXT_DONE))) << shown.join('|').toStdString();
        if (command == Command::kDelete) {
            const QString report = text(TXT_MSG_DELETE_FAILED) + QLatin1Char('\n') + text(TXT_MSG_DELETE_COUNTS).arg(0).arg(3);
            EXPECT_TRUE(shown.contains(report)) << shown.join('|').toStdString();
        } else {
            EXPECT_FALSE(QFileInfo::exists(QDir(out.path()).filePath(firstName)));
            EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        }
        w->Shutdown();
    }
    CMsgBox::setAutoAnswer(0);
}

// Closing the window (its close key, or the desktop's close) while a joined save or a CSV
// export writes its file asks first. Cancel: the window stays and the file is made whole. OK:
// the window closes and nothing is left under the file's name, nor a temporary file. The task is
// held at its first progress report until it is told to stop or let go, so it is surely part way.
TEST_F(MainWindowWiring, ClosingDuringASaveAsksAndNeverLeavesACutFile)
{
    const QKeyCombination closeKey = QKeySequence::keyBindings(QKeySequence::Close).value(0)[0];
    const struct {
        Command command;
        bool byKey;
        int answer;
    } cases[] = {{Command::kSaveJoined, true, CMsgBox::kIdCancel}, {Command::kSaveJoined, false, CMsgBox::kIdOk},
                 {Command::kCsv, false, CMsgBox::kIdCancel}, {Command::kCsv, true, CMsgBox::kIdOk}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.command) << (c.byKey ? " key " : " close ") << c.answer);
        QTemporaryDir out;
        std::atomic<bool> held{false}, letGo{false};
        std::atomic<qint64> total{0};
        QStringList asked;
        auto w = startWindow();
        TaskRunner* runner = w->taskRunner();
        // On the worker: the first report holds the task until it is stopped or let go.
        QObject::connect(runner, &TaskRunner::progress, runner, [&, runner](qint64, qint64 all) {
            total = all;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            if (!held.exchange(true)) {
                while (!letGo && runner->runningFlag() && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }, Qt::DirectConnection);
        w->listCommands()->setFolderChooser([&](const IniKey&, int) { return out.path(); });
        w->listCommands()->setSelectionRunner([](CFileSelectDlg& dlg) {
            for (int row = 0; row < 3; ++row)
                dlg.setTicked(row, true);
            return dlg.confirm();
        });
        CMsgBox::setTestHook([&](CMsgDlg& dlg) {
            if (dlg.text() != text(TXT_MSG_CLOSE_WHILE_SAVING))
                return int(CMsgBox::kIdOk);  // the completion message
            asked << dlg.caption();
            return c.answer;
        });
        bool finished = false;
        QObject::connect(w->listCommands(), &CListCommands::taskFinished, [&] { finished = true; });
        QStringList inputs;
        for (int row = 0; row < 3; ++row)
            inputs << w->browser()->listCtrl()->recordAt(row)->path;
        w->DispatchCommand(c.command);
        ASSERT_TRUE(waitUntil([&] { return held.load(); }, 15000));
        ASSERT_GE(total.load(), 2);
        if (c.byKey)
            key(w.get(), closeKey.key(), closeKey.keyboardModifiers());
        else
            w->close();
        EXPECT_EQ(asked, QStringList{text(TXT_CONFIRM)});
        if (c.answer == CMsgBox::kIdOk) {
            EXPECT_FALSE(w->isVisible());
            waitUntil([&] { return !w->backgroundTaskRunning(); }, 5000);
            EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{});
        } else {
            EXPECT_TRUE(w->isVisible());
            EXPECT_TRUE(w->backgroundTaskRunning());
            letGo = true;
            ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));
            // The export alone, or the joined movie with its telemetry file.
            const QStringList left = QDir(out.path()).entryList(QDir::Files | QDir::Hidden);
            ASSERT_EQ(left.size(), c.command == Command::kCsv ? 1 : 2) << left.join(' ').toStdString();
            if (c.command == Command::kCsv) {
                QFile csv(QDir(out.path()).filePath(left[0]));
                ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
                EXPECT_EQ(csv.readAll().count('\n'), 1 + total.load());
            } else {
                long long frames = 0;
                for (const QString& input : inputs)
                    frames += test::probeVideo(input).frames;
                const QString movie = QDir(out.path()).filePath(QFileInfo(inputs[0]).fileName());
                EXPECT_EQ(test::probeVideo(movie).frames, frames);
            }
            w->Shutdown();
        }
        CMsgBox::setTestHook({});
    }
}

TEST_F(MainWindowWiring, CtrlRWritesTheReportOfTheOpenRecording)
{
    auto w = startWindow();
    ASSERT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 10000));
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    w->report()->setFolderChooser([&] { return out.path(); });
    w->report()->setDelayMs(0);
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    bool done = false, ok = false;
    QString workbook;
    QObject::connect(w.get(), &CdedoradeDlg::reportFinished, [&](bool good, const QString& path) {
        done = true;
        ok = good;
        workbook = path;
    });
    key(w.get(), Qt::Key_Space);
    key(w.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_NE(w->session()->player(0)->state().playState, kPlaying);  // the report pauses playback
    ASSERT_TRUE(waitUntil([&] { return done; }, 10000));
    CMsgBox::setAutoAnswer(0);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(workbook.startsWith(out.path()));
    EXPECT_GT(QFileInfo(workbook).size(), 1000);

    // The map window is hidden (as it is by default): a frame with a fix still gets its position
    // in the report's map corner, drawn on the recording's track; a frame without one gets the
    // no-position picture.
    ASSERT_FALSE(w->mapShown());
    const TelemetrySnapshot snap = w->session()->telemetry();
    ASSERT_TRUE(snap);
    const QSize corner(452, 368);
    int withFix = -1, withoutFix = -1;
    for (int f = 0; f < int(w->session()->frameCount()); ++f) {
        const AccelSample* sample = snap->sampleAt(f);
        const GpsSample* fix = sample ? snap->gpsOf(*sample) : nullptr;
        (fix && IsUsableFix(*fix) ? withFix : withoutFix) = f;
    }
    ASSERT_GE(withFix, 0);
    EXPECT_NE(ReportMapPicture(*w->session(), *w->mapState(), withFix, corner),
              ReportMapPlaceholder(corner));
    if (withoutFix >= 0) {
        EXPECT_EQ(ReportMapPicture(*w->session(), *w->mapState(), withoutFix, corner),
                  ReportMapPlaceholder(corner));
    }
    w->Shutdown();
}

// The report is also an item of the video's context menu, shown with its key like the other
// items that have one; choosing it runs the same report as Ctrl+R.
TEST_F(MainWindowWiring, ContextMenuReportItemWritesTheReport)
{
    auto w = startWindow();
    ASSERT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 10000));
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    int chooserCalls = 0;
    w->report()->setFolderChooser([&] {
        ++chooserCalls;
        return out.path();
    });
    w->report()->setDelayMs(0);
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    bool done = false, ok = false;
    QString workbook;
    QObject::connect(w.get(), &CdedoradeDlg::reportFinished, [&](bool good, const QString& path) {
        done = true;
        ok = good;
        workbook = path;
    });
    // Once the menu is open: read its items, then choose the report with the keyboard.
    QStringList seen;
    bool chose = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<CMovieMenu*>(QApplication::activePopupWidget());
        if (!menu || chose)
            return;
        QAction* report = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            seen << a->text() + u'|' + a->shortcut().toString(QKeySequence::PortableText);
            if (a->data().value<Command>() == Command::kReport)
                report = a;
        }
        chose = true;
        if (!report) {
            menu->close();
            return;
        }
        menu->setActiveAction(report);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    poll.start(20);
    QWidget* video = w->videoSurface();
    QTest::mouseClick(video, Qt::RightButton, {}, video->rect().center());
    ASSERT_TRUE(waitUntil([&] { return chose; }, 5000));
    poll.stop();
    EXPECT_TRUE(seen.contains(text(TXT_STILL_IMAGE_2) + QStringLiteral("|S"))) << seen.join(u',').toStdString();
    EXPECT_TRUE(seen.contains(text(TXT_REPORT) + QStringLiteral("|Ctrl+R"))) << seen.join(u',').toStdString();
    EXPECT_TRUE(seen.contains(text(TXT_SETTINGS_2) + u'|')) << seen.join(u',').toStdString();
    ASSERT_TRUE(waitUntil([&] { return done; }, 10000));
    CMsgBox::setAutoAnswer(0);
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(workbook.startsWith(out.path()));
    EXPECT_GT(QFileInfo(workbook).size(), 1000);
    w->Shutdown();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
