#include "windows/main/recording_sequencer.h"

#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <memory>

namespace ravir {
namespace {
constexpr int kOpenedResult = 1;
}  // namespace

int DefaultRateCodeFor(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const bool lapse = (name.size() > 0 && name[0] == u'T') || (name.size() > 2 && name[2] == u'T');
    return lapse ? -2 : 1;
}

RecordingSequencer::RecordingSequencer(SequencerHost& host, QObject* parent)
    : QObject(parent), host_(host)
{
    openDelayTimer_.setObjectName(QStringLiteral("openDelayTimer"));
    openDelayTimer_.setSingleShot(true);
    openDelayTimer_.setInterval(kOpenDelayMs);
    connect(&openDelayTimer_, &QTimer::timeout, this, &RecordingSequencer::onOpenDelay);
    openTimeoutTimer_.setObjectName(QStringLiteral("openTimeoutTimer"));
    openTimeoutTimer_.setSingleShot(true);
    openTimeoutTimer_.setInterval(kOpenTimeoutMs);
    connect(&openTimeoutTimer_, &QTimer::timeout, this, &RecordingSequencer::onOpenTimeout);
}

RecordingSequencer::~RecordingSequencer()
{
    waitForLoader();
}

void RecordingSequencer::waitForLoader()
{
    if (!loader_)
        return;
    // The loader's end is not reported any more: whoever waits has moved on.
    ++generation_;
    loader_->disconnect(this);
    loader_->wait();
    delete loader_;
    loader_ = nullptr;
    loadQueued_ = false;
}

void RecordingSequencer::rowChosen(int row, const RecordingRecord& record)
{
    if (returning_)
        return;
    row_ = row;
    record_ = record;
    restoreFrame_ = -1;
    // Chosen by the user: the recording rests on its first frame and an end is not followed.
    const bool byUs = advancing_ || continueFolder_;
    autoAdvance_ = byUs;
    keepRate_ = continueFolder_;
    if (!byUs)
        hold_ = true;
    beginOpen(true);
}

int RecordingSequencer::openNow(const RecordingRecord& record)
{
    openDelayTimer_.stop();
    record_ = record;
    row_ = -1;
    for (int row = 0; row < host_.sequencerRowCount(); ++row) {
        const RecordingRecord* r = host_.sequencerRecordAt(row);
        if (r && r->path == record.path) {
            row_ = row;
            break;
        }
    }
    autoAdvance_ = false;
    keepRate_ = false;
    hold_ = true;
    restoreFrame_ = -1;
    beginOpen(true);
    openDelayTimer_.stop();
    const int result = host_.sequencerOpenBoth(record_);
    if (result != kOpenedResult && result != 3) {
        lastOpenFailed_ = true;
        lastFailResult_ = result;
        waiting_ = false;
        openTimeoutTimer_.stop();
        host_.sequencerEndWait();
    }
    return result;
}

void RecordingSequencer::beginOpen(bool resetGraph)
{
    host_.sequencerStopPlayback(false);
    ++generation_;
    ready_ = false;
    movieOpen_ = false;
    lastOpenFailed_ = false;
    host_.sequencerBeginOpen(resetGraph);
    // A pending earlier open is replaced; its wait state goes on under the new one.
    openDelayTimer_.stop();
    waiting_ = true;
    openTimeoutTimer_.start();
    openDelayTimer_.start(openWithoutDelay_ ? 0 : openDelayMs_);
    Q_EMIT openStarted(record_.path);
}

void RecordingSequencer::onOpenDelay()
{
    if (record_.path.isEmpty())
        return;
    const int result = host_.sequencerOpenBoth(record_);
    // 1 (3 when both cameras report) carries on with movieOpened().
    if (result == kOpenedResult || result == 3)
        return;
    failed(result);
}

void RecordingSequencer::movieFailed()
{
    if (record_.path.isEmpty() || ready_)
        return;
    failed(SequencerHost::kEngineCannotLoad);
}

void RecordingSequencer::failed(int result)
{
    lastOpenFailed_ = true;
    lastFailResult_ = result;
    restoreFrame_ = -1;
    movieOpen_ = false;
    waiting_ = false;
    openTimeoutTimer_.stop();
    ++generation_;  // a late report of this open is dropped
    if (autoAdvance_) {
        // Moving on by itself: the recording is passed over without a word.
        host_.sequencerOpenFailed(result, false);
        Q_EMIT recordingSkipped(record_.path, result);
        advance();
        return;
    }
    host_.sequencerOpenFailed(result, true);
}

void RecordingSequencer::onOpenTimeout()
{
    waiting_ = false;
    host_.sequencerEndWait();
}

void RecordingSequencer::movieOpened()
{
    if (movieOpen_ || record_.path.isEmpty())
        return;
    movieOpen_ = true;
    if (!continueFolder_)
        openDelayTimer_.stop();
    host_.sequencerMovieOpened(keepRate_ ? host_.sequencerRateCode()
                                           : DefaultRateCodeFor(record_.path));
    startLoader();
}

void RecordingSequencer::startLoader()
{
    if (loader_) {
        // One loader at a time: this open's load starts when the running one has ended.
        loadQueued_ = true;
        return;
    }
    loadQueued_ = false;
    const int generation = generation_;
    const QString path = record_.path;
    auto loaded = std::make_shared<std::atomic<bool>>(false);
    SequencerHost* host = &host_;
    loader_ = QThread::create([host, path, loaded] { loaded->store(host->sequencerLoadTelemetry(path)); });
    loader_->setObjectName(QStringLiteral("telemetry loader"));
    connect(loader_, &QThread::finished, this, [this, generation, loaded] {
        loader_->wait();
        delete loader_;
        loader_ = nullptr;
        onLoaderDone(generation, loaded->load());
        if (loadQueued_ && movieOpen_ && !ready_)
            startLoader();
    });
    loader_->start();
}

void RecordingSequencer::onLoaderDone(int generation, bool loaded)
{
    // A second ready for the same open, or one of an older open, is ignored.
    if (generation != generation_ || ready_ || !movieOpen_)
        return;
    loadQueued_ = false;
    ready_ = true;
    waiting_ = false;
    openTimeoutTimer_.stop();
    host_.sequencerEndWait();
    host_.sequencerRecordingReady(loaded);
    if (playRequest_ || autoAdvance_) {
        playRequest_ = false;
        hold_ = false;
        host_.sequencerPlay();
    }
    if (restoreFrame_ >= 0) {
        const int frame = restoreFrame_;
        restoreFrame_ = -1;
        host_.sequencerRestorePosition(frame);
    }
    if (loaded) {
        const RecordingRecord* next = row_ >= 0 ? host_.sequencerRecordAt(row_ + 1) : nullptr;
        if (next)
            host_.sequencerPrefetch(next->path);
    }
    Q_EMIT recordingReady(record_.path);
}

void RecordingSequencer::endOfRecording()
{
    if (hold_ || !movieOpen_)
        return;
    advance();
}

void RecordingSequencer::nextCommand()
{
    if (!hasRecording())
        return;
    advance();
}

bool RecordingSequencer::previousCommand()
{
    if (row_ <= 0)
        return false;
    const int target = row_ - 1;
    host_.sequencerSelectRow(target);
    if (row_ != target) {
        if (const RecordingRecord* r = host_.sequencerRecordAt(target))
            rowChosen(target, *r);
    }
    return true;
}

void RecordingSequencer::playPressed()
{
    if (hasRecording() && !ready_)
        playRequest_ = true;
    hold_ = false;
}

void RecordingSequencer::advance()
{
    if (endRunning_)
        return;
    endRunning_ = true;
    const int folder = host_.sequencerFolderPosition();
    const int row = row_;
    const RecordingRecord record = record_;
    stepToNext();
    if (continueFolder_) {
        // The first folder after this one that lists recordings; its first row is chosen by the
        // browser and comes back as rowChosen() with the continue flag set.
        bool opened = false;
        while (host_.sequencerSelectNextFolder()) {
            if (host_.sequencerRowCount() > 0) {
                opened = true;
                break;
            }
        }
        continueFolder_ = false;
        if (!opened)
            endOfLastFolder(folder, row, record);
    }
    endRunning_ = false;
}

void RecordingSequencer::stepToNext()
{
    if (row_ < 0)
        return;
    const int target = row_ + 1;
    if (target < host_.sequencerRowCount()) {
        advancing_ = true;
        host_.sequencerSelectRow(target);
        if (row_ != target) {
            // The list did not choose it (its recording is the one open): open it all the same.
            if (const RecordingRecord* r = host_.sequencerRecordAt(target))
                rowChosen(target, *r);
        }
        advancing_ = false;
        return;
    }
    if (host_.sequencerSingleFileSource())
        return;
    // After the last row: the next folder, when the tree has one with recordings.
    host_.sequencerStopPlayback(host_.sequencerHasNextFolder());
    continueFolder_ = true;
}

void RecordingSequencer::endOfLastFolder(int folder, int row, const RecordingRecord& record)
{
    // The folders after it were empty: the folder of the recording is shown again.
    if (host_.sequencerFolderPosition() != folder) {
        returning_ = true;
        host_.sequencerSelectFolderAt(folder);
        returning_ = false;
    }
    // The current recording again, on its first frame, stopped, and held there; chosen as the
    // user would choose it.
    host_.sequencerStopPlayback(false);
    autoAdvance_ = false;
    playRequest_ = false;
    const bool failedBefore = lastOpenFailed_;
    row_ = -1;
    if (!failedBefore && !record.path.isEmpty() && row >= 0) {
        host_.sequencerSelectRow(row);
        if (row_ != row)
            rowChosen(row, record);
    } else {
        row_ = row;
        record_ = record;
    }
    hold_ = true;
    host_.sequencerLastFolderEnded();
    Q_EMIT lastFolderEnded();
}

void RecordingSequencer::reset()
{
    openDelayTimer_.stop();
    openTimeoutTimer_.stop();
    ++generation_;
    record_ = RecordingRecord{};
    row_ = -1;
    waiting_ = false;
    movieOpen_ = false;
    ready_ = false;
    hold_ = false;
    autoAdvance_ = false;
    advancing_ = false;
    continueFolder_ = false;
    endRunning_ = false;
    playRequest_ = false;
    keepRate_ = false;
    lastOpenFailed_ = false;
    loadQueued_ = false;
    restoreFrame_ = -1;
}

void RecordingSequencer::suspend()
{
    openDelayTimer_.stop();
    openTimeoutTimer_.stop();
    ++generation_;  // a load still running counts for nothing
    waiting_ = false;
    movieOpen_ = false;
    ready_ = false;
    autoAdvance_ = false;
    playRequest_ = false;
    restoreFrame_ = -1;
}

bool RecordingSequencer::reopen(int restoreFrame)
{
    if (!hasRecording())
        return false;
    autoAdvance_ = false;
    keepRate_ = false;
    playRequest_ = false;
    hold_ = true;
    restoreFrame_ = restoreFrame;
    beginOpen(false);
    return true;
}

}  // namespace ravir
