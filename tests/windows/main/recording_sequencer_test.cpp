// The sequencing of recordings without a display or a player: a host that records what the
// sequencer asks for, with folders of recordings whose opens succeed or fail as each test says.
#include "gui_app.h"
#include "windows/map/map_follow.h"
#include "windows/main/play_clock_rules.h"
#include "windows/main/recording_sequencer.h"
#include "windows/main/source_mount.h"
#include "playback/player.h"
#include "windows/views/recording_telemetry.h"

#include <QDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <map>
#include <gtest/gtest.h>

using namespace ravir;
using test::waitUntil;

namespace {

RecordingRecord rec(const QString& name)
{
    RecordingRecord r;
    r.path = QStringLiteral("/card/Normal/") + name;
    return r;
}

class FakeHost : public SequencerHost {
public:
    std::vector<std::vector<RecordingRecord>> folders;
    int folder = 0;
    std::map<QString, int> openResults;  // path -> result (default 1)
    RecordingSequencer* seq = nullptr;
    std::vector<QString> opened, played, prefetched;
    std::vector<std::pair<int, bool>> failures;  // result, message shown
    std::vector<int> rates;
    int lastFolderEnds = 0;
    int endWaits = 0;
    int readies = 0;
    bool movieOpensByItself = true;
    std::atomic<bool> loaderGate{true};  // the loader waits while false

    const std::vector<RecordingRecord>& rows() const { return folders[static_cast<size_t>(folder)]; }
    int sequencerRowCount() const override { return static_cast<int>(rows().size()); }
    const RecordingRecord* sequencerRecordAt(int row) const override
    {
        return row >= 0 && row < sequencerRowCount() ? &rows()[static_cast<size_t>(row)] : nullptr;
    }
    void sequencerSelectRow(int row) override
    {
        if (const RecordingRecord* r = sequencerRecordAt(row))
            seq->rowChosen(row, *r);
    }
    bool sequencerSelectNextFolder() override
    {
        if (folder + 1 >= static_cast<int>(folders.size()))
            return false;
        ++folder;
        if (sequencerRowCount() > 0)
            seq->rowChosen(0, rows()[0]);  // the browser chooses the first row of a folder
        return true;
    }
    bool sequencerHasNextFolder() const override { return folder + 1 < static_cast<int>(folders.size()); }
    int sequencerFolderPosition() const override { return folder; }
    void sequencerSelectFolderAt(int position) override
    {
        folder = position;
        if (sequencerRowCount() > 0)
            seq->rowChosen(0, rows()[0]);
    }
    bool sequencerSingleFileSource() const override { return false; }
    void sequencerStopPlayback(bool) override {}
    void sequencerBeginOpen(bool resetGraph) override { graphResets.push_back(resetGraph); }
    int sequencerOpenBoth(const RecordingRecord& record) override
    {
        opened.push_back(record.path);
        const auto it = openResults.find(record.path);
        const int result = it == openResults.end() ? 1 : it->second;
        if (result == 1 && movieOpensByItself)
            QTimer::singleShot(0, seq, [s = seq] { s->movieOpened(); });
        return result;
    }
    void sequencerOpenFailed(int result, bool showMessage) override { failures.emplace_back(result, showMessage); }
    void sequencerEndWait() override { ++endWaits; }
    void sequencerMovieOpened(int rateCode) override { rates.push_back(rateCode); }
    bool sequencerLoadTelemetry(const QString&) override
    {
        while (!loaderGate.load())
            QThread::msleep(2);
        return true;
    }
    void sequencerRecordingReady(bool) override { ++readies; }
    void sequencerPlay() override { played.push_back(seq->currentRecord().path); }
    void sequencerPrefetch(const QString& path) override { prefetched.push_back(path); }
    void sequencerLastFolderEnded() override { ++lastFolderEnds; }
    int sequencerRateCode() const override { return 2; }
    void sequencerRestorePosition(int frame) override { restored.push_back(frame); }
    std::vector<int> restored;
    std::vector<bool> graphResets;
};

class Sequencer : public testing::Test {
protected:
    void SetUp() override
    {
        if (!QCoreApplication::instance())
            test::guiApp();
        seq = std::make_unique<RecordingSequencer>(host);
        host.seq = seq.get();
        seq->setOpenDelayMs(20);
    }
    void TearDown() override { seq.reset(); }
    bool readyOn(const QString& name)
    {
        return waitUntil([&] { return seq->isReady() && seq->currentRecord().path.endsWith(name); }, 3000);
    }
    FakeHost host;
    std::unique_ptr<RecordingSequencer> seq;
};

}  // namespace

TEST_F(Sequencer, ChosenRowIsHeldUntilPlayThenEachEndOpensAndPlaysTheNext)
{
    host.folders = {{rec("A1.MOV"), rec("T2.MOV"), rec("A3.MOV")}};
    seq->rowChosen(0, host.folders[0][0]);
    // The open waits for its delay; the controls wait meanwhile.
    EXPECT_TRUE(host.opened.empty());
    EXPECT_TRUE(seq->isOpening());
    EXPECT_TRUE(seq->openTimeoutTimer().isActive());
    ASSERT_TRUE(readyOn("A1.MOV"));
    EXPECT_FALSE(seq->isOpening());
    EXPECT_FALSE(seq->openTimeoutTimer().isActive());
    EXPECT_EQ(host.opened.size(), 1u);
    EXPECT_TRUE(host.played.empty());  // chosen by the user: rests on its first frame
    EXPECT_EQ(host.prefetched, std::vector<QString>{host.folders[0][1].path});
    EXPECT_EQ(host.rates.back(), 1);

    // Held: an end is not followed until play is pressed.
    seq->endOfRecording();
    EXPECT_EQ(seq->currentRow(), 0);
    seq->playPressed();
    seq->endOfRecording();
    ASSERT_TRUE(readyOn("T2.MOV"));
    EXPECT_TRUE(seq->automaticAdvance());
    EXPECT_EQ(host.played, std::vector<QString>{host.folders[0][1].path});
    EXPECT_EQ(host.rates.back(), -2);  // a time-lapse name starts at x0.5

    // Play pressed while the next one opens is honoured when it is ready; a chosen row is held.
    seq->rowChosen(2, host.folders[0][2]);
    seq->playPressed();
    EXPECT_TRUE(seq->playRequested());
    ASSERT_TRUE(readyOn("A3.MOV"));
    EXPECT_EQ(host.played.back(), host.folders[0][2].path);
    EXPECT_FALSE(seq->holdFlag());
    EXPECT_EQ(host.readies, 3);
    EXPECT_TRUE(host.failures.empty());
}

TEST_F(Sequencer, AdvanceSkipsFailuresSilentlyCrossesFoldersAndStopsAtTheEnd)
{
    host.folders = {{rec("A1.MOV"), rec("BAD.MOV"), rec("SHORT.MOV")}, {}, {rec("C1.MOV"), rec("D1.MOV")}, {}};
    host.openResults[host.folders[0][1].path] = 0;
    host.openResults[host.folders[0][2].path] = 2;
    QStringList skipped;
    QObject::connect(seq.get(), &RecordingSequencer::recordingSkipped,
                     [&](const QString& path, int) { skipped << path; });
    seq->rowChosen(0, host.folders[0][0]);
    ASSERT_TRUE(readyOn("A1.MOV"));
    seq->playPressed();
    seq->endOfRecording();
    // The failing and the too-short recording are passed over without a message; the empty
    // folder too; the first recording of the next folder with recordings opens and plays.
    ASSERT_TRUE(readyOn("C1.MOV"));
    EXPECT_EQ(host.folder, 2);
    EXPECT_EQ(skipped, (QStringList{host.folders[0][1].path, host.folders[0][2].path}));
    ASSERT_EQ(host.failures.size(), 2u);
    EXPECT_FALSE(host.failures[0].second);
    EXPECT_FALSE(host.failures[1].second);
    EXPECT_EQ(host.played.back(), host.folders[2][0].path);
    EXPECT_EQ(host.rates.back(), 2);  // a folder change keeps the rate it played at
    seq->endOfRecording();
    ASSERT_TRUE(readyOn("D1.MOV"));

    // The end of the last folder (the empty one after it is left again): the same recording
    // again, held, not played.
    const size_t plays = host.played.size();
    const size_t opens = host.opened.size();
    seq->endOfRecording();
    EXPECT_EQ(host.lastFolderEnds, 1);
    EXPECT_EQ(host.folder, 2);
    EXPECT_EQ(seq->currentRow(), 1);
    ASSERT_TRUE(waitUntil([&] { return host.opened.size() == opens + 1 && seq->isReady(); }, 3000));
    EXPECT_EQ(host.opened.back(), host.folders[2][1].path);
    EXPECT_TRUE(seq->holdFlag());
    EXPECT_FALSE(seq->automaticAdvance());
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(host.played.size(), plays);
    seq->endOfRecording();  // held: nothing moves
    EXPECT_EQ(host.opened.size(), opens + 1);

    // The user's own open of a failing recording says why.
    host.folder = 0;
    seq->rowChosen(1, host.folders[0][1]);
    ASSERT_TRUE(waitUntil([&] { return host.failures.size() == 3; }, 3000));
    EXPECT_EQ(host.failures[2], std::make_pair(0, true));
    seq->rowChosen(2, host.folders[0][2]);
    ASSERT_TRUE(waitUntil([&] { return host.failures.size() == 4; }, 3000));
    EXPECT_EQ(host.failures[3], std::make_pair(2, true));
    EXPECT_TRUE(seq->lastOpenFailed());
    EXPECT_FALSE(seq->isOpening());
}

TEST_F(Sequencer, TimeoutEndsTheWaitAndAStaleLoadIsDropped)
{
    host.folders = {{rec("A1.MOV"), rec("A2.MOV")}};
    // A movie that never reports: the time-out ends the wait state.
    host.movieOpensByItself = false;
    seq->openTimeoutTimer().setInterval(80);
    seq->rowChosen(0, host.folders[0][0]);
    ASSERT_TRUE(waitUntil([&] { return !seq->isOpening(); }, 3000));
    EXPECT_GE(host.endWaits, 1);
    EXPECT_FALSE(seq->isReady());

    // A load still running when another recording is chosen counts for nothing; the new one
    // becomes ready once, after its own load.
    host.loaderGate = false;
    seq->movieOpened();
    EXPECT_TRUE(seq->isMovieOpen());
    seq->rowChosen(1, host.folders[0][1]);
    ASSERT_TRUE(waitUntil([&] { return host.opened.size() == 2; }, 3000));
    seq->movieOpened();
    seq->movieOpened();  // a second report of the same open is ignored
    host.loaderGate = true;
    ASSERT_TRUE(readyOn("A2.MOV"));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(host.readies, 1);
    EXPECT_EQ(host.rates.size(), 2u);

    // A chosen recording the engine cannot decode fails with its own result, shown.
    host.movieOpensByItself = false;
    seq->rowChosen(0, host.folders[0][0]);
    ASSERT_TRUE(waitUntil([&] { return host.opened.size() == 3; }, 3000));
    host.failures.clear();
    seq->movieFailed();
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0], std::make_pair(int(SequencerHost::kEngineCannotLoad), true));
    EXPECT_FALSE(seq->isReady());

    // Reset (source gone): nothing is current and a late end does nothing.
    seq->reset();
    seq->endOfRecording();
    seq->nextCommand();
    EXPECT_FALSE(seq->hasRecording());
    EXPECT_EQ(host.opened.size(), 3u);
}

TEST_F(Sequencer, ReopenAfterATaskComesBackToTheShownFrameOnceReady)
{
    host.folders = {{rec("A1.MOV"), rec("A2.MOV")}};
    seq->rowChosen(1, host.folders[0][1]);
    ASSERT_TRUE(readyOn("A2.MOV"));
    seq->playPressed();

    // Closed for a task while a load of it still runs: it stays current, nothing of that open
    // counts any more.
    host.loaderGate = false;
    seq->rowChosen(1, host.folders[0][1]);
    ASSERT_TRUE(waitUntil([&] { return seq->isMovieOpen(); }, 3000));
    seq->suspend();
    host.loaderGate = true;
    waitUntil([] { return false; }, 80);
    EXPECT_EQ(host.readies, 1);
    EXPECT_FALSE(seq->isReady());
    EXPECT_EQ(seq->currentRow(), 1);
    EXPECT_TRUE(seq->hasRecording());

    // Opened again: held (not played), the graph kept, back on the frame shown before.
    const size_t plays = host.played.size();
    ASSERT_TRUE(seq->reopen(120));
    EXPECT_FALSE(host.graphResets.back());
    EXPECT_TRUE(host.restored.empty());  // not before the recording is ready
    ASSERT_TRUE(readyOn("A2.MOV"));
    EXPECT_EQ(host.restored, std::vector<int>{120});
    EXPECT_EQ(host.played.size(), plays);
    EXPECT_TRUE(seq->holdFlag());
    EXPECT_EQ(seq->restoreFrame(), -1);

    // Without a frame to restore the recording stays on its first frame.
    ASSERT_TRUE(seq->reopen(-1));
    ASSERT_TRUE(waitUntil([&] { return host.readies == 3; }, 3000));
    EXPECT_EQ(host.restored.size(), 1u);

    // A re-open that fails says why and forgets the frame; a later ready restores nothing.
    host.openResults[host.folders[0][1].path] = 0;
    ASSERT_TRUE(seq->reopen(300));
    ASSERT_TRUE(waitUntil([&] { return !host.failures.empty(); }, 3000));
    EXPECT_EQ(host.failures.back(), std::make_pair(0, true));
    EXPECT_EQ(seq->restoreFrame(), -1);
    host.openResults.clear();
    seq->rowChosen(0, host.folders[0][0]);
    ASSERT_TRUE(readyOn("A1.MOV"));
    EXPECT_EQ(host.restored.size(), 1u);

    // After a reset nothing is current: nothing to open again.
    seq->reset();
    EXPECT_FALSE(seq->reopen(10));
}

TEST(MapFollow, StatusTextAndWhetherTheMapCanShowThePosition)
{
    const struct {
        int playState;
        map::PlayStatus status;
        const char* text;
    } states[] = {{kPlaying, map::PlayStatus::Playing, ""}, {kPaused, map::PlayStatus::Paused, "pause"},
                  {kStopped, map::PlayStatus::Stopped, "stop"}, {kNoMovie, map::PlayStatus::Stopped, "stop"}};
    for (const auto& s : states) {
        EXPECT_EQ(MapStatusFor(s.playState), s.status) << s.playState;
        EXPECT_EQ(map::statusText(MapStatusFor(s.playState)), QString::fromLatin1(s.text)) << s.playState;
    }

    // Frames 0-1: no sample; 2-3: a sample without GPS; 4: an invalid fix; 5: a fix without a
    // position (720 degrees); 6: a valid fix.
    RecordingTelemetry t;
    t.gps.resize(3);
    t.gps[0].valid = 0;
    t.gps[1].valid = 1;
    t.gps[1].latitude = 720.0;
    t.gps[1].longitude = 720.0;
    t.gps[2].valid = 1;
    t.gps[2].latitude = 35.6;
    t.gps[2].longitude = 139.7;
    t.accel.resize(4);
    t.accel[1].gpsLink = 0;
    t.accel[2].gpsLink = 1;
    t.accel[3].gpsLink = 2;
    t.frameIndex = {-1, -1, 0, 0, 1, 2, 3};
    const std::vector<bool> expected{false, false, false, false, false, false, true};
    for (int frame = 0; frame < 7; ++frame)
        EXPECT_EQ(MapCanShowTrack(64, &t, frame), expected[static_cast<size_t>(frame)]) << frame;
    EXPECT_FALSE(MapCanShowTrack(63, &t, 6));      // too little telemetry
    EXPECT_FALSE(MapCanShowTrack(1000, &t, 7));    // past the frame index
    EXPECT_FALSE(MapCanShowTrack(1000, nullptr, 6));
}

TEST(PlayClockRules, EndMarginsSeekLimitsPendingWindowAndRates)
{
    // A 600-frame recording: the engine is kept 20/40/80 frames off the end, the views show 599.
    EXPECT_EQ(EngineSeekFrame(600, 600, 1), 580);
    EXPECT_EQ(EngineSeekFrame(600, 600, -2), 580);
    EXPECT_EQ(EngineSeekFrame(600, 600, 2), 560);
    EXPECT_EQ(EngineSeekFrame(600, 600, 4), 520);
    EXPECT_EQ(EngineSeekFrame(100, 600, 4), 100);
    EXPECT_EQ(EngineSeekFrame(5, 10, 1), 0);
    EXPECT_EQ(ViewFrame(600, 0, 600), 599);
    EXPECT_EQ(ViewFrame(-3, 0, 600), 0);
    // Blocked only while playing in the margin; a frame count of 0 never blocks.
    EXPECT_TRUE(NearEndBlocked(false, 580, 600, 1));
    EXPECT_FALSE(NearEndBlocked(false, 579, 600, 1));
    EXPECT_TRUE(NearEndBlocked(false, 560, 600, 2));
    EXPECT_FALSE(NearEndBlocked(true, 599, 600, 1));
    EXPECT_FALSE(NearEndBlocked(false, 5, 0, 1));
    // After a seek to 300 of 600 frames the window is (270, 330), open at both ends.
    EXPECT_TRUE(PendingWindowAccepts(271, 300, 600));
    EXPECT_FALSE(PendingWindowAccepts(270, 300, 600));
    EXPECT_FALSE(PendingWindowAccepts(330, 300, 600));
    EXPECT_TRUE(PendingWindowAccepts(5, -1, 600));
    EXPECT_FALSE(PendingWindowAccepts(350, 300, 20000));  // d = 20 + 30
    EXPECT_TRUE(PendingWindowAccepts(349, 300, 20000));
    // Time-lapse names play at x0.5.
    EXPECT_EQ(DefaultRateCodeFor("/c/Normal/T___20250314_0800_000101M.MOV"), -2);
    EXPECT_EQ(DefaultRateCodeFor("/c/Parking/P_T_20250314_0800_000101M.MOV"), -2);
    EXPECT_EQ(DefaultRateCodeFor("/c/Normal/A___20250314_0800_000101M.MOV"), 1);
    EXPECT_EQ(DefaultRateCodeFor(QString()), 1);
    // The program goes with a pulled card only when it runs from a removable mount.
    EXPECT_TRUE(ProgramRunsFrom("/media/user/CARD", "/media/user/CARD/viewer/ravir-viewer"));
    EXPECT_TRUE(ProgramRunsFrom("/run/media/u/SD", "/run/media/u/SD/ravir-viewer"));
    EXPECT_FALSE(ProgramRunsFrom("/media/user/CARD", "/media/user/CARD2/ravir-viewer"));
    EXPECT_FALSE(ProgramRunsFrom("/", "/usr/bin/ravir-viewer"));
    EXPECT_FALSE(ProgramRunsFrom("/work", "/work/build/ravir-viewer"));
    EXPECT_FALSE(ProgramRunsFrom(QString(), "/media/x/ravir-viewer"));
    EXPECT_EQ(MountPointOf("/no/such/place"), QString());
    EXPECT_FALSE(MountPointOf(QDir::tempPath()).isEmpty());
}
