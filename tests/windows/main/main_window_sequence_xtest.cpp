// The main window moving on by itself on a real (virtual) display, with a two-camera sample
// card: a chosen recording rests on its first frame; once played, each end opens and plays the
// next one, recordings too short to play are passed over without a message, the last recording
// of a folder leads to the first of the next folder, the end of the last folder brings the last
// recording back on frame 0, stopped. Pulling the card (removing the source folder) while a
// recording plays, or while a background task reads the card, clears everything and says so.
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/kit/skin_progress.h"
#include "shell/ini_keys.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "gui_app.h"
#include "windows/stills/still_capture.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/main/window_report.h"
#include "windows/main/mpris_service.h"
#include "windows/main/window_mpris.h"
#include "windows/main/main_layout.h"
#include "windows/map/map_follow.h"
#include "windows/map/map_window.h"
#include "windows/main/movie_menu.h"
#include "windows/kit/skin_slider.h"
#include "windows/main/task_runner.h"
#include "playback/dual_surface.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/map/web/map_host.h"
#include "windows/map/map_state.h"
#include "windows/map/web/map_view.h"
#include "windows/views/recording_telemetry.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/recording_sequencer.h"
#include "container/telemetry_timeline.h"
#include "playback/player.h"
#include "sample_data.h"
#include "shell/ui_text.h"

#include <QDialog>
#include <QDirIterator>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

using namespace ravir;
using test::waitUntil;

namespace {

// The window's map view, made the first time the map window shows a recording with positions
// (the window itself knows it only as a map surface: the view lives in the map module).
map::CMapView* mapViewOf(const CdedoradeDlg& w) { return static_cast<map::CMapView*>(w.mapState()->view()); }

class MainWindowSequence : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config_.isValid());
        qputenv("RAVIR_CONFIG_DIR", config_.path().toLocal8Bit());
        samples::SampleCardOptions o = samples::SmallCardOptions();
        o.seconds = 2.5;  // longer than 2 s: ordinary recordings play
        o.twoCamera = true;
        o.allKinds = false;
        o.shortMovies = true;  // 2 s and shorter recordings, which cannot be played
        QString error;
        card_ = test::sampleCard("mainwindow-sequence", o, &error);
        ASSERT_FALSE(card_.isEmpty()) << error.toStdString();
        CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
        CMsgBox::takeShown();
    }
    void TearDown() override
    {
        CMsgBox::setAutoAnswer(0);
        qunsetenv("RAVIR_CONFIG_DIR");
    }

    std::unique_ptr<CdedoradeDlg> startWindow(const QString& source)
    {
        CdedoradeDlg::Options o;
        o.source = source;
        auto w = std::make_unique<CdedoradeDlg>(o);
        w->move(20, 20);
        w->show();
        EXPECT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 20000));
        return w;
    }

    QTemporaryDir config_;
    QString card_;
};

QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(w, &press);
}

// Waits until the current recording was opened again and is ready.
bool readyAgain(CdedoradeDlg& w, int& readies, int before)
{
    return waitUntil([&] { return readies > before && w.session()->telemetryReady() && w.sequencer()->isReady(); }, 15000);
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

TEST_F(MainWindowSequence, PlaysOnThroughRecordingsAndFoldersToTheEndOfTheLastFolder)
{
    auto w = startWindow(card_);
    ASSERT_TRUE(w->session()->telemetryReady());
    RecordingSequencer& seq = *w->sequencer();
    Player& main = *w->session()->player(0);
    CFolderTreeCtrl* tree = w->browser()->treeCtrl();
    // The first row was chosen for the user: it rests on frame 0.
    waitUntil([] { return false; }, 300);
    EXPECT_NE(main.state().playState, kPlaying);
    EXPECT_TRUE(seq.holdFlag());
    EXPECT_EQ(w->browser()->listCtrl()->playingRow(), 0);
    ASSERT_TRUE(w->session()->player(1)->IsReady());  // the sub camera came with it

    // The folders and rows the window must go through, in order.
    QStringList expected;
    QStringList readyOrder;
    QStringList skipped;
    QObject::connect(&seq, &RecordingSequencer::recordingReady,
                     [&](const QString& path) { readyOrder << fileName(path); });
    QObject::connect(&seq, &RecordingSequencer::recordingSkipped,
                     [&](const QString& path, int result) {
                         EXPECT_EQ(result, 2) << path.toStdString();
                         skipped << fileName(path);
                     });
    bool lastEnded = false;
    QObject::connect(&seq, &RecordingSequencer::lastFolderEnded, [&] { lastEnded = true; });
    QStringList folderOrder{tree->currentItem()->text(0)};
    QObject::connect(tree, &CFolderTreeCtrl::itemScanned, [&](int) {
        if (!seq.continuingFolder())
            return;  // the folder of the last recording shown again at the end
        folderOrder << tree->currentItem()->text(0);
        for (int row = 0; row < w->browser()->rowCount(); ++row)
            expected << fileName(w->browser()->listCtrl()->recordAt(row)->path);
    });
    for (int row = 1; row < w->browser()->rowCount(); ++row)
        expected << fileName(w->browser()->listCtrl()->recordAt(row)->path);
    const QString first = fileName(w->session()->currentPath());

    // Play, and from then on jump near the end of each recording that plays.
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &space);
    ASSERT_EQ(main.state().playState, kPlaying);
    QString jumped;
    QElapsedTimer total;
    total.start();
    while (!lastEnded && total.elapsed() < 180000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (w->session()->telemetryReady() && main.state().playState == kPlaying && jumped != w->session()->currentPath() &&
            main.GetFrameCount() > 30) {
            jumped = w->session()->currentPath();
            w->session()->SeekAll(static_cast<int>(main.GetFrameCount()) - 12);
        }
    }
    ASSERT_TRUE(lastEnded) << readyOrder.join(' ').toStdString();
    // Every recording that can play was opened in order; each one too short was passed over.
    QStringList playable;
    for (const QString& name : expected)
        if (!skipped.contains(name))
            playable << name;
    ASSERT_GE(folderOrder.size(), 3) << folderOrder.join('|').toStdString();
    EXPECT_GE(skipped.size(), 3);
    EXPECT_EQ(readyOrder.mid(0, playable.size()), playable);
    EXPECT_TRUE(CMsgBox::takeShown().isEmpty());  // no message while moving on
    EXPECT_NE(readyOrder.value(0), first);

    // The end of the last folder: its last recording once more, on frame 0, held, not playing.
    ASSERT_TRUE(waitUntil([&] { return w->session()->telemetryReady() && seq.isReady(); }, 10000));
    EXPECT_EQ(fileName(w->session()->currentPath()), playable.last());
    EXPECT_TRUE(seq.holdFlag());
    waitUntil([] { return false; }, 400);
    EXPECT_NE(main.state().playState, kPlaying);
    ASSERT_TRUE(main.WaitSeekDone(3000));
    EXPECT_EQ(main.GetCurrentFrame(), 0);
    EXPECT_EQ(w->session()->shownFrame(), 0);
    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
        w->grab().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + QStringLiteral("/last_folder_end.png"));

    // From a chosen row to its first picture (reported, not asserted).
    const int rows = w->browser()->rowCount();
    ASSERT_GT(rows, 1);
    QElapsedTimer chosen;
    int measured = 0;
    qint64 sum = 0;
    for (int row = 0; row < rows; ++row) {
        const RecordingRecord* r = w->browser()->listCtrl()->recordAt(row);
        if (r->path == w->session()->currentPath() || skipped.contains(fileName(r->path)))
            continue;
        chosen.start();
        w->browser()->setCurrentRow(row);
        ASSERT_TRUE(waitUntil([&] { return w->session()->ready() && w->session()->telemetryReady() && w->session()->currentPath() == r->path; }, 10000));
        ASSERT_TRUE(main.WaitSeekDone(3000));
        sum += chosen.elapsed();
        ++measured;
    }
    if (measured > 0)
        std::printf("row chosen to first picture: %lld ms on average over %d recordings (500 ms open delay included)\n",
                    static_cast<long long>(sum / measured), measured);
    // A row chosen by the user that cannot be played says why.
    for (int row = 0; row < rows; ++row) {
        if (skipped.contains(fileName(w->browser()->listCtrl()->recordAt(row)->path))) {
            w->browser()->setCurrentRow(row);
            ASSERT_TRUE(waitUntil([&] { return seq.lastOpenFailed(); }, 5000));
            const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
            ASSERT_EQ(shown.size(), 1);
            EXPECT_EQ(shown[0].text, text(TXT_MSG_TOO_SHORT));
            EXPECT_EQ(shown[0].caption, QStringLiteral("ERROR"));
            // After a failed open only browsing is left on the buttons (a too-short recording
            // is no open error, so not even Delete).
            for (int id = 38000; id <= 38013; ++id) {
                auto* b = w->findChild<QWidget*>(QStringLiteral("button%1").arg(id));
                ASSERT_NE(b, nullptr);
                EXPECT_EQ(b->isEnabled(), id == 38009) << id;
            }
            break;
        }
    }
    w->Shutdown();
}

TEST_F(MainWindowSequence, PulledCardWhilePlayingAndWhileATaskRunsClearsEverything)
{
    for (int round = 0; round < 2; ++round) {
        QTemporaryDir copy;
        ASSERT_TRUE(copy.isValid());
        const QString card = copy.path() + "/card";
        ASSERT_TRUE(test::copyTree(card_, card));
        auto w = startWindow(card);
        ASSERT_TRUE(w->session()->telemetryReady());
        Player& main = *w->session()->player(0);
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &space);
        ASSERT_EQ(main.state().playState, kPlaying);
        std::atomic<bool> taskSawLoss{false};
        if (round == 1) {
            // A task reading the card's files until they are gone.
            const QString root = card;
            ASSERT_TRUE(w->StartBackgroundTask([root, &taskSawLoss] {
                for (int i = 0; i < 400; ++i) {
                    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
                    int files = 0;
                    while (it.hasNext()) {
                        QFile f(it.next());
                        if (f.open(QIODevice::ReadOnly)) {
                            f.read(4096);
                            ++files;
                        }
                    }
                    if (files == 0) {
                        taskSawLoss = true;
                        return;
                    }
                    QThread::msleep(10);
                }
            }));
            EXPECT_TRUE(w->backgroundTaskRunning());
        }
        waitUntil([] { return false; }, 300);
        ASSERT_TRUE(QDir(card).removeRecursively());
        // The watcher reports within its 100 ms poll; the message says the videos are gone.
        QList<CMsgBox::Shown> shown;
        ASSERT_TRUE(waitUntil([&] {
            shown += CMsgBox::takeShown();
            return !shown.isEmpty();
        }, 5000));
        EXPECT_EQ(shown[0].text, text(TXT_MSG_SOURCE_GONE));
        EXPECT_EQ(shown[0].caption, QStringLiteral("ERROR"));
        if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
            w->grab().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + QStringLiteral("/card_pulled_%1.png").arg(round));
        waitUntil([&] { return !w->backgroundTaskRunning(); }, 10000);
        EXPECT_FALSE(w->backgroundTaskRunning());
        if (round == 1) {
            EXPECT_TRUE(taskSawLoss.load());
        }
        EXPECT_EQ(w->browser()->rowCount(), 0);
        EXPECT_EQ(w->browser()->treeCtrl()->topLevelItemCount(), 0);
        EXPECT_FALSE(w->session()->ready());
        EXPECT_FALSE(w->session()->telemetryReady());
        EXPECT_FALSE(w->session()->playClockActive());
        EXPECT_FALSE(w->sequencer()->hasRecording());
        EXPECT_NE(main.state().playState, kPlaying);
        EXPECT_TRUE(w->isVisible());  // the program was not on the card: it stays
        // The transport is off; the window goes on answering.
        EXPECT_FALSE(w->isCommandEnabled(Command::kPlay));
        QApplication::sendEvent(w.get(), &space);
        QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &pageDown);
        waitUntil([] { return false; }, 200);
        EXPECT_NE(main.state().playState, kPlaying);
        w->Shutdown();
    }
}

// The position slider, the map's play status and its placeholder rule, and the keys of the video
// menu, on a recording that plays.
TEST_F(MainWindowSequence, SliderSeeksOnReleaseMapFollowsTheStateAndMenuKeysRunTheirCommands)
{
    auto w = startWindow(card_);
    ASSERT_TRUE(w->session()->telemetryReady());
    Player& main = *w->session()->player(0);
    const int frames = static_cast<int>(main.GetFrameCount());
    ASSERT_GT(frames, 40);

    // The map can show the position exactly where the recording has a fix, also while the map
    // window is off.
    const TelemetrySnapshot snap = w->graphView()->telemetry();
    ASSERT_TRUE(snap);
    const long long bytes = QFileInfo(TelemetryFileForMovie(w->session()->currentPath())).size();
    int fixFrame = -1;
    for (int f = 0; f < frames && fixFrame < 0; ++f)
        if (MapCanShowTrack(bytes, snap.get(), f))
            fixFrame = f;
    ASSERT_GE(fixFrame, 0);
    w->session()->SeekAll(fixFrame);
    EXPECT_TRUE(w->mapShellInput().hasPosition);
    EXPECT_GE(w->mapShellInput().telemetrySize, 64);

    // Dragging the thumb moves the views only; the cameras are sought when it is let go, never
    // into the last 20 frames.
    auto* slider = w->findChild<CSkinSliderCtrl*>(QStringLiteral("positionSliderCtrl"));
    ASSERT_TRUE(slider);
    w->session()->SeekAll(0);
    ASSERT_TRUE(main.WaitSeekDone(3000));
    Q_EMIT slider->pressed(38100, 0);
    Q_EMIT slider->moving(38100, 30);
    EXPECT_EQ(w->session()->shownFrame(), 30);
    EXPECT_LT(main.PendingSeekFrame(), 0);
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(main.GetCurrentFrame(), 0);
    EXPECT_EQ(w->session()->shownFrame(), 30);  // the play clock keeps the thumb's frame
    Q_EMIT slider->released(38100, frames + 5);
    EXPECT_EQ(w->session()->shownFrame(), frames - 1);
    ASSERT_TRUE(main.WaitSeekDone(3000));
    EXPECT_EQ(main.GetCurrentFrame(), frames - 20);
    // While playing: silent and paused under the thumb, playing again once it is let go.
    w->session()->SeekAll(0);
    key(w.get(), Qt::Key_Space);
    ASSERT_EQ(main.state().playState, kPlaying);
    Q_EMIT slider->pressed(38100, 2);
    EXPECT_NE(main.state().playState, kPlaying);
    EXPECT_EQ(main.engineVolume(), 0.0);
    Q_EMIT slider->moving(38100, 10);
    Q_EMIT slider->released(38100, 10);
    EXPECT_EQ(main.state().playState, kPlaying);
    EXPECT_GT(main.engineVolume(), 0.0);
    key(w.get(), Qt::Key_Space);

    // The map hears the play state from whatever changed it.
    key(w.get(), Qt::Key_M);
    ASSERT_TRUE(mapViewOf(*w));
    const map::CMapHost& host = *mapViewOf(*w)->host();
    EXPECT_EQ(host.status(), map::PlayStatus::Paused);
    key(w.get(), Qt::Key_Space);
    EXPECT_EQ(host.status(), map::PlayStatus::Playing);
    key(w.get(), Qt::Key_Space);
    EXPECT_EQ(host.status(), map::PlayStatus::Paused);
    key(w.get(), Qt::Key_Space);
    key(w.get(), Qt::Key_Home);  // the first frame, stopped
    EXPECT_EQ(main.state().playState, kStopped);
    EXPECT_EQ(host.status(), map::PlayStatus::Stopped);
    key(w.get(), Qt::Key_M);

    // Every key the video menu shows beside an item runs that item's command through the
    // window's own key handling. Dialogs the commands open are answered with Cancel.
    w->stillCapture()->setFolderChooser([] { return QString(); });
    w->report()->setFolderChooser([] { return QString(); });
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    cancel.start(50);
    QList<Command> dispatched;
    QObject::connect(w.get(), &CdedoradeDlg::commandDispatched, [&](Command c) { dispatched << c; });
    std::vector<Command> ids;
    for (int state : {kStopped, kPaused, kPlaying}) {
        for (bool full : {false, true}) {
            const std::vector<MovieMenuItem> items = MovieMenuItems(state, 1, full, true);
            CMovieMenu menu(items);
            for (QAction* action : menu.actions()) {
                if (action->isSeparator())
                    continue;
                const Command id = action->data().value<Command>();
                EXPECT_EQ(action->shortcut(), MovieMenuShortcut(id)) << static_cast<int>(id);
                if (!action->shortcut().isEmpty() && std::find(ids.begin(), ids.end(), id) == ids.end())
                    ids.push_back(id);
            }
        }
    }
    // The source dialog last: it closes the recording.
    std::stable_partition(ids.begin(), ids.end(), [](Command id) { return id != Command::kBrowse; });
    ASSERT_GE(ids.size(), 6u);
    for (Command id : ids) {
        const QKeyCombination k = MovieMenuShortcut(id)[0];
        // Slower and faster act while playing only, as their buttons do.
        const bool whilePlaying = id == Command::kSlow || id == Command::kFastForward;
        if (whilePlaying && main.state().playState != kPlaying)
            key(w.get(), Qt::Key_Space);
        dispatched.clear();
        key(w.get(), k.key(), k.keyboardModifiers());
        EXPECT_EQ(dispatched, QList<Command>{id}) << static_cast<int>(id) << " " << MovieMenuShortcut(id).toString().toStdString();
        if (whilePlaying)
            key(w.get(), Qt::Key_Space);
    }
    EXPECT_EQ(dispatched, QList<Command>{Command::kBrowse});
    cancel.stop();
    w->Shutdown();
}

// The background tasks on a copy of the card: the CSV export brings the recording back to the
// frame it showed, paused; the joined save leaves it on frame 0, stopped; the stop key during
// either leaves no file behind and the window usable; a deletion starts the window over on the
// first row of the source.
// A pause leaves every view on the frame the picture shows (the engine shows a frame or two
// after the pause command), and it sets the recording's default rate, from the key and from the
// desktop's media controls alike.
TEST_F(MainWindowSequence, APauseLeavesTheViewsOnThePictureAtTheDefaultRate)
{
    auto w = startWindow(card_);
    ASSERT_TRUE(w->session()->telemetryReady());
    Player& main = *w->session()->player(0);
    const int rate = DefaultRateCodeFor(w->session()->currentPath());
    const double frameUs = static_cast<double>(main.GetFrameMs()) * 1000.0;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        w->session()->SeekAll(0);  // far from the last frames, where a playing recording takes no command
        ASSERT_TRUE(main.WaitSeekDone(3000));
        key(w.get(), Qt::Key_Space);
        ASSERT_TRUE(waitUntil([&] { return main.state().playState == kPlaying; }, 2000));
        if (round % 2 == 1)
            key(w.get(), Qt::Key_BracketRight);  // x2
        waitUntil([] { return false; }, 250);
        if (round < 2)
            key(w.get(), Qt::Key_Space);
        else
            w->mpris()->target()->mprisPause();
        waitUntil([] { return false; }, 700);
        ASSERT_EQ(main.state().playState, kPaused);
        const int onScreen = main.GetCurrentFrame();
        EXPECT_EQ(w->session()->shownFrame(), onScreen);
        EXPECT_EQ(w->mpris()->target()->mprisState().positionUs, static_cast<qint64>(onScreen * frameUs));
        EXPECT_EQ(w->graphView()->currentFrame(), onScreen);
        EXPECT_EQ(main.state().rateCode, rate);
        EXPECT_EQ(w->session()->player(1)->state().rateCode, rate);
    }
    w->Shutdown();
}

TEST_F(MainWindowSequence, TasksComeBackWhereTheyWereStopCleanlyAndADeletionStartsOver)
{
    QTemporaryDir copy, out;
    ASSERT_TRUE(copy.isValid() && out.isValid());
    const QString card = copy.path() + "/card";
    ASSERT_TRUE(test::copyTree(card_, card));
    auto w = startWindow(card);
    ASSERT_TRUE(w->session()->telemetryReady());
    Player& main = *w->session()->player(0);
    CListCommands& commands = *w->listCommands();
    commands.setFolderChooser([&](const IniKey&, int) { return out.path(); });
    int readies = 0;
    QObject::connect(w->sequencer(), &RecordingSequencer::recordingReady, [&] { ++readies; });
    bool finished = false;
    QObject::connect(&commands, &CListCommands::taskFinished, [&] { finished = true; });
    const auto runTask = [&](int keyCode) {
        finished = false;
        const int before = readies;
        key(w.get(), keyCode, Qt::ControlModifier);
        return waitUntil([&] { return finished; }, 30000) && readyAgain(*w, readies, before);
    };

    // CSV export from a paused frame: the same frame again, paused.
    key(w.get(), Qt::Key_Space);
    waitUntil([&] { return w->session()->shownFrame() > 15; }, 5000);
    key(w.get(), Qt::Key_Space);
    const int shown = w->session()->shownFrame();
    ASSERT_GT(shown, 0);
    ASSERT_TRUE(runTask(Qt::Key_E));
    EXPECT_EQ(filesIn(out.path()).size(), 1);
    EXPECT_EQ(w->session()->shownFrame(), shown);
    EXPECT_EQ(main.state().playState, kPaused);
    ASSERT_TRUE(main.WaitSeekDone(3000));
    EXPECT_EQ(main.GetCurrentFrame(), shown);

    // The joined save of the first two rows: back on frame 0, stopped.
    commands.setSelectionRunner([](CFileSelectDlg& dlg) {
        dlg.setTicked(0, true);
        dlg.setTicked(1, true);
        return dlg.confirm();
    });
    ASSERT_TRUE(runTask(Qt::Key_J));
    EXPECT_EQ(filesIn(out.path()).size(), 3);  // the CSV, the joined movie and its telemetry
    EXPECT_EQ(w->session()->shownFrame(), 0);
    EXPECT_EQ(main.state().playState, kStopped);

    // The stop key as soon as a task has started: the task ends at its first check and the
    // recording opens again. The export keeps the rows written so far (here the header line
    // alone, whole); the joined save leaves no file.
    QDir(out.path()).removeRecursively();
    QDir().mkpath(out.path());
    QMetaObject::Connection stopAtStart =
        QObject::connect(w->taskRunner(), &TaskRunner::started, [&] { key(w.get(), Qt::Key_Home); });
    for (int taskKey : {Qt::Key_E, Qt::Key_J}) {
        ASSERT_TRUE(runTask(taskKey)) << taskKey;
        const QStringList left = filesIn(out.path());
        if (taskKey == Qt::Key_E) {
            ASSERT_EQ(left.size(), 1);
            QFile csv(QDir(out.path()).filePath(left[0]));
            ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
            const QByteArray written = csv.readAll();
            EXPECT_EQ(written.count('\n'), 1);
            EXPECT_TRUE(written.endsWith('\n'));
            csv.remove();
        } else {
            EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
        }
        EXPECT_FALSE(w->backgroundTaskRunning());
        key(w.get(), Qt::Key_Space);
        EXPECT_EQ(main.state().playState, kPlaying);
        key(w.get(), Qt::Key_Space);
    }
    QObject::disconnect(stopAtStart);

    // A deletion: the window starts over (default view and rate, the map window's title), the
    // source is shown anew and its first row opens, held on frame 0.
    key(w.get(), Qt::Key_V);
    ASSERT_NE(w->dualSurface()->view(), DisplayView::Main);
    const QString gone = w->browser()->listCtrl()->recordAt(1)->path;
    commands.setSelectionRunner([](CFileSelectDlg& dlg) {
        dlg.setTicked(1, true);
        return dlg.confirm();
    });
    finished = false;
    const int before = readies;
    key(w.get(), Qt::Key_Delete);
    ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));
    ASSERT_TRUE(readyAgain(*w, readies, before));
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_EQ(w->dualSurface()->view(), DisplayView::Main);
    EXPECT_EQ(w->movieDialog()->windowTitle(), text(TXT_MAP));
    EXPECT_EQ(w->sequencer()->currentRow(), 0);
    EXPECT_EQ(w->browser()->listCtrl()->playingRow(), 0);
    EXPECT_EQ(w->session()->currentPath(), w->browser()->listCtrl()->recordAt(0)->path);
    EXPECT_TRUE(w->sequencer()->holdFlag());
    EXPECT_NE(main.state().playState, kPlaying);
    EXPECT_EQ(w->session()->shownFrame(), 0);
    EXPECT_EQ(w->isCommandEnabled(Command::kCsv),
              w->catalogue().mode() == SourceMode::Drive && !w->catalogue().shownRecords().empty());
    if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
        w->grab().save(qEnvironmentVariable("RAVIR_SHOT_DIR") + QStringLiteral("/after_deletion.png"));
    w->Shutdown();
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    test::guiApp();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
