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
    : QObject(parent), m_host(host)
{
    m_openDelayTimer.setObjectName(QStringLiteral("openDelayTimer"));
    m_openDelayTimer.setSingleShot(true);
    m_openDelayTimer.setInterval(kOpenDelayMs);
    connect(&m_openDelayTimer, &QTimer::timeout, this, &RecordingSequencer::onOpenDelay);
    m_openTimeoutTimer.setObjectName(QStringLiteral("openTimeoutTimer"));
    m_openTimeoutTimer.setSingleShot(true);
    m_openTimeoutTimer.setInterval(kOpenTimeoutMs);
    connect(&m_openTimeoutTimer, &QTimer::timeout, this, &RecordingSequencer::onOpenTimeout);
}

RecordingSequencer::~RecordingSequencer()
{
    waitForLoader();
}

void RecordingSequencer::waitForLoader()
{
    if (!m_loader)
        return;
    // The loader's end is not reported any more: whoever waits has moved on.
    ++m_generation;
    m_loader->disconnect(this);
    m_loader->wait();
    delete m_loader;
    m_loader = nullptr;
    m_loadQueued = false;
}

void RecordingSequencer::rowChosen(int row, const RecordingRecord& record)
{
    if (m_returning)
        return;
    m_row = row;
    m_record = record;
    m_restoreFrame = -1;
    // Chosen by the user: the recording rests on its first frame and an end is not followed.
    const bool byUs = m_advancing || m_continueFolder;
    m_autoAdvance = byUs;
    m_keepRate = m_continueFolder;
    if (!byUs)
        m_hold = true;
    beginOpen(true);
}

int RecordingSequencer::openNow(const RecordingRecord& record)
{
    m_openDelayTimer.stop();
    m_record = record;
    m_row = -1;
    for (int row = 0; row < m_host.sequencerRowCount(); ++row) {
        const RecordingRecord* r = m_host.sequencerRecordAt(row);
        if (r && r->path == record.path) {
            m_row = row;
            break;
        }
    }
    m_autoAdvance = false;
    m_keepRate = false;
    m_hold = true;
    m_restoreFrame = -1;
    beginOpen(true);
    m_openDelayTimer.stop();
    const int result = m_host.sequencerOpenBoth(m_record);
    if (result != kOpenedResult && result != 3) {
        m_lastOpenFailed = true;
        m_lastFailResult = result;
        m_waiting = false;
        m_openTimeoutTimer.stop();
        m_host.sequencerEndWait();
    }
    return result;
}

void RecordingSequencer::beginOpen(bool resetGraph)
{
    m_host.sequencerStopPlayback(false);
    ++m_generation;
    m_ready = false;
    m_movieOpen = false;
    m_lastOpenFailed = false;
    m_host.sequencerBeginOpen(resetGraph);
    // A pending earlier open is replaced; its wait state goes on under the new one.
    m_openDelayTimer.stop();
    m_waiting = true;
    m_openTimeoutTimer.start();
    m_openDelayTimer.start();
    Q_EMIT openStarted(m_record.path);
}

void RecordingSequencer::onOpenDelay()
{
    if (m_record.path.isEmpty())
        return;
    const int result = m_host.sequencerOpenBoth(m_record);
    // 1 (3 when both cameras report) carries on with movieOpened().
    if (result == kOpenedResult || result == 3)
        return;
    failed(result);
}

void RecordingSequencer::movieFailed()
{
    if (m_record.path.isEmpty() || m_ready)
        return;
    failed(SequencerHost::kEngineCannotLoad);
}

void RecordingSequencer::failed(int result)
{
    m_lastOpenFailed = true;
    m_lastFailResult = result;
    m_restoreFrame = -1;
    m_movieOpen = false;
    m_waiting = false;
    m_openTimeoutTimer.stop();
    ++m_generation;  // a late report of this open is dropped
    if (m_autoAdvance) {
        // Moving on by itself: the recording is passed over without a word.
        m_host.sequencerOpenFailed(result, false);
        Q_EMIT recordingSkipped(m_record.path, result);
        advance();
        return;
    }
    m_host.sequencerOpenFailed(result, true);
}

void RecordingSequencer::onOpenTimeout()
{
    m_waiting = false;
    m_host.sequencerEndWait();
}

void RecordingSequencer::movieOpened()
{
    if (m_movieOpen || m_record.path.isEmpty())
        return;
    m_movieOpen = true;
    if (!m_continueFolder)
        m_openDelayTimer.stop();
    m_host.sequencerMovieOpened(m_keepRate ? m_host.sequencerRateCode()
                                           : DefaultRateCodeFor(m_record.path));
    startLoader();
}

void RecordingSequencer::startLoader()
{
    if (m_loader) {
        // One loader at a time: this open's load starts when the running one has ended.
        m_loadQueued = true;
        return;
    }
    m_loadQueued = false;
    const int generation = m_generation;
    const QString path = m_record.path;
    auto loaded = std::make_shared<std::atomic<bool>>(false);
    SequencerHost* host = &m_host;
    m_loader = QThread::create([host, path, loaded] { loaded->store(host->sequencerLoadTelemetry(path)); });
    m_loader->setObjectName(QStringLiteral("telemetry loader"));
    connect(m_loader, &QThread::finished, this, [this, generation, loaded] {
        m_loader->wait();
        delete m_loader;
        m_loader = nullptr;
        onLoaderDone(generation, loaded->load());
        if (m_loadQueued && m_movieOpen && !m_ready)
            startLoader();
    });
    m_loader->start();
}

void RecordingSequencer::onLoaderDone(int generation, bool loaded)
{
    // A second ready for the same open, or one of an older open, is ignored.
    if (generation != m_generation || m_ready || !m_movieOpen)
        return;
    m_loadQueued = false;
    m_ready = true;
    m_waiting = false;
    m_openTimeoutTimer.stop();
    m_host.sequencerEndWait();
    m_host.sequencerRecordingReady(loaded);
    if (m_playRequest || m_autoAdvance) {
        m_playRequest = false;
        m_hold = false;
        m_host.sequencerPlay();
    }
    if (m_restoreFrame >= 0) {
        const int frame = m_restoreFrame;
        m_restoreFrame = -1;
        m_host.sequencerRestorePosition(frame);
    }
    if (loaded) {
        const RecordingRecord* next = m_row >= 0 ? m_host.sequencerRecordAt(m_row + 1) : nullptr;
        if (next)
            m_host.sequencerPrefetch(next->path);
    }
    Q_EMIT recordingReady(m_record.path);
}

void RecordingSequencer::endOfRecording()
{
    if (m_hold || !m_movieOpen)
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
    if (m_row <= 0)
        return false;
    const int target = m_row - 1;
    m_host.sequencerSelectRow(target);
    if (m_row != target) {
        if (const RecordingRecord* r = m_host.sequencerRecordAt(target))
            rowChosen(target, *r);
    }
    return true;
}

void RecordingSequencer::playPressed()
{
    if (hasRecording() && !m_ready)
        m_playRequest = true;
    m_hold = false;
}

void RecordingSequencer::advance()
{
    if (m_endRunning)
        return;
    m_endRunning = true;
    const int folder = m_host.sequencerFolderPosition();
    const int row = m_row;
    const RecordingRecord record = m_record;
    stepToNext();
    if (m_continueFolder) {
        // The first folder after this one that lists recordings; its first row is chosen by the
        // browser and comes back as rowChosen() with the continue flag set.
        bool opened = false;
        while (m_host.sequencerSelectNextFolder()) {
            if (m_host.sequencerRowCount() > 0) {
                opened = true;
                break;
            }
        }
        m_continueFolder = false;
        if (!opened)
            endOfLastFolder(folder, row, record);
    }
    m_endRunning = false;
}

void RecordingSequencer::stepToNext()
{
    if (m_row < 0)
        return;
    const int target = m_row + 1;
    if (target < m_host.sequencerRowCount()) {
        m_advancing = true;
        m_host.sequencerSelectRow(target);
        if (m_row != target) {
            // The list did not choose it (its recording is the one open): open it all the same.
            if (const RecordingRecord* r = m_host.sequencerRecordAt(target))
                rowChosen(target, *r);
        }
        m_advancing = false;
        return;
    }
    if (m_host.sequencerSingleFileSource())
        return;
    // After the last row: the next folder, when the tree has one with recordings.
    m_host.sequencerStopPlayback(m_host.sequencerHasNextFolder());
    m_continueFolder = true;
}

void RecordingSequencer::endOfLastFolder(int folder, int row, const RecordingRecord& record)
{
    // The folders after it were empty: the folder of the recording is shown again.
    if (m_host.sequencerFolderPosition() != folder) {
        m_returning = true;
        m_host.sequencerSelectFolderAt(folder);
        m_returning = false;
    }
    // The current recording again, on its first frame, stopped, and held there; chosen as the
    // user would choose it.
    m_host.sequencerStopPlayback(false);
    m_autoAdvance = false;
    m_playRequest = false;
    const bool failedBefore = m_lastOpenFailed;
    m_row = -1;
    if (!failedBefore && !record.path.isEmpty() && row >= 0) {
        m_host.sequencerSelectRow(row);
        if (m_row != row)
            rowChosen(row, record);
    } else {
        m_row = row;
        m_record = record;
    }
    m_hold = true;
    m_host.sequencerLastFolderEnded();
    Q_EMIT lastFolderEnded();
}

void RecordingSequencer::reset()
{
    m_openDelayTimer.stop();
    m_openTimeoutTimer.stop();
    ++m_generation;
    m_record = RecordingRecord{};
    m_row = -1;
    m_waiting = false;
    m_movieOpen = false;
    m_ready = false;
    m_hold = false;
    m_autoAdvance = false;
    m_advancing = false;
    m_continueFolder = false;
    m_endRunning = false;
    m_playRequest = false;
    m_keepRate = false;
    m_lastOpenFailed = false;
    m_loadQueued = false;
    m_restoreFrame = -1;
}

void RecordingSequencer::suspend()
{
    m_openDelayTimer.stop();
    m_openTimeoutTimer.stop();
    ++m_generation;  // a load still running counts for nothing
    m_waiting = false;
    m_movieOpen = false;
    m_ready = false;
    m_autoAdvance = false;
    m_playRequest = false;
    m_restoreFrame = -1;
}

bool RecordingSequencer::reopen(int restoreFrame)
{
    if (!hasRecording())
        return false;
    m_autoAdvance = false;
    m_keepRate = false;
    m_playRequest = false;
    m_hold = true;
    m_restoreFrame = restoreFrame;
    beginOpen(false);
    return true;
}

}  // namespace ravir
