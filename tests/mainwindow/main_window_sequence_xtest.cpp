// The main window moving on by itself on a real (virtual) display, with a two-camera sample
// card: a chosen recording rests on its first frame; once played, each end opens and plays the
// next one, recordings too short to play are passed over without a message, the last recording
// of a folder leads to the first of the next folder, the end of the last folder brings the last
// recording back on frame 0, stopped. Pulling the card (removing the source folder) while a
// recording plays, or while a background task reads the card, clears everything and says so.
#include "catalogue/file_list_ctrl.h"
#include "catalogue/filer_container_dlg.h"
#include "catalogue/folder_tree_ctrl.h"
#include "gui_app.h"
#include "mainwindow/dedorade_dlg.h"
#include "mainwindow/msg_dlg.h"
#include "mainwindow/recording_sequencer.h"
#include "playback/player.h"
#include "sample_data.h"
#include "shell/ui_text.h"

#include <QDirIterator>
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
        EXPECT_TRUE(waitUntil([&] { return w->recordingReady(); }, 20000));
        return w;
    }

    QTemporaryDir config_;
    QString card_;
};

QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

}  // namespace

TEST_F(MainWindowSequence, PlaysOnThroughRecordingsAndFoldersToTheEndOfTheLastFolder)
{
    auto w = startWindow(card_);
    ASSERT_TRUE(w->recordingReady());
    RecordingSequencer& seq = *w->sequencer();
    Player& main = *w->player(0);
    CFolderTreeCtrl* tree = w->browser()->treeCtrl();
    // The first row was chosen for the user: it rests on frame 0.
    waitUntil([] { return false; }, 300);
    EXPECT_NE(main.state().playState, kPlaying);
    EXPECT_TRUE(seq.holdFlag());
    EXPECT_EQ(w->browser()->listCtrl()->playingRow(), 0);
    ASSERT_TRUE(w->player(1)->IsReady());  // the sub camera came with it

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
    const QString first = fileName(w->currentRecordingPath());

    // Play, and from then on jump near the end of each recording that plays.
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &space);
    ASSERT_EQ(main.state().playState, kPlaying);
    QString jumped;
    QElapsedTimer total;
    total.start();
    while (!lastEnded && total.elapsed() < 180000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (w->recordingReady() && main.state().playState == kPlaying && jumped != w->currentRecordingPath() &&
            main.GetFrameCount() > 30) {
            jumped = w->currentRecordingPath();
            w->SeekAll(static_cast<int>(main.GetFrameCount()) - 12);
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
    ASSERT_TRUE(waitUntil([&] { return w->recordingReady() && seq.isReady(); }, 10000));
    EXPECT_EQ(fileName(w->currentRecordingPath()), playable.last());
    EXPECT_TRUE(seq.holdFlag());
    waitUntil([] { return false; }, 400);
    EXPECT_NE(main.state().playState, kPlaying);
    ASSERT_TRUE(main.WaitSeekDone(3000));
    EXPECT_EQ(main.GetCurrentFrame(), 0);
    EXPECT_EQ(w->shownFrame(), 0);
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
        if (r->path == w->currentRecordingPath() || skipped.contains(fileName(r->path)))
            continue;
        chosen.start();
        w->browser()->setCurrentRow(row);
        ASSERT_TRUE(waitUntil([&] { return w->movieIsReady() && w->currentRecordingPath() == r->path; }, 10000));
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
        ASSERT_TRUE(w->recordingReady());
        Player& main = *w->player(0);
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
        EXPECT_FALSE(w->movieIsReady());
        EXPECT_FALSE(w->recordingReady());
        EXPECT_FALSE(w->playClockActive());
        EXPECT_FALSE(w->sequencer()->hasRecording());
        EXPECT_NE(main.state().playState, kPlaying);
        EXPECT_TRUE(w->isVisible());  // the program was not on the card: it stays
        // The transport is off; the window goes on answering.
        EXPECT_FALSE(w->isCommandEnabled(38002));
        QApplication::sendEvent(w.get(), &space);
        QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &pageDown);
        waitUntil([] { return false; }, 200);
        EXPECT_NE(main.state().playState, kPlaying);
        w->Shutdown();
    }
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    test::guiApp();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
