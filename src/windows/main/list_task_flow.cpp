#include "windows/main/list_task_flow.h"

#include "catalogue/catalogue.h"
#include "playback/video_presenter.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/recording_sequencer.h"
#include "windows/main/recording_session.h"
#include "windows/kit/skin_progress.h"
#include "windows/main/task_runner.h"
#include "shell/ui_text.h"

#include <algorithm>

namespace ravir {

ListTaskFlow::ListTaskFlow(QWidget& window, Catalogue& catalogue, RecordingSession& session,
                           CFilerContainerDlg& browser, CSkinProgressBarCtrl* bar, Hooks hooks)
    : QObject(&window), window_(window), catalogue_(catalogue), session_(session),
      browser_(browser), bar_(bar), hooks_(std::move(hooks))
{
    tasks_ = new TaskRunner(this);
    commands_ = new CListCommands(catalogue_, *tasks_, &window_, this);
    commands_->setProgressBar(bar_);
    commands_->setBeforeTask([this](int command) {
        // Playback pauses while the task runs; the deletion closes the recording, so that no
        // file of it is held, the joined save rewinds it, the export comes back to where it was.
        session_.PauseIfPlaying();
        session_.StopPrefetch();
        restoreFrame_ = -1;
        rewindAfterTask_ = false;
        if (command == CListCommands::kCmdDelete) {
            hooks_.closeRecording(true);  // opened again after the task, unless the list changed
        } else if (command == CListCommands::kCmdJoin) {
            rewindAfterTask_ = true;
            session_.SeekAll(0);
        } else {
            // The export holds no file of the source open; the frame comes back afterwards.
            restoreFrame_ = std::max(0, session_.shownFrame());
            hooks_.closeRecording(true);
        }
    });
    connect(commands_, &CListCommands::taskFinished, this, &ListTaskFlow::onFinished);
    connect(commands_, &CListCommands::sourceReopened, this, &ListTaskFlow::sourceReopened);

    // The bar over the video while a task runs.
    connect(tasks_, &TaskRunner::started, this, &ListTaskFlow::onStarted);
    connect(tasks_, &TaskRunner::progress, this, [this](qint64 done, qint64 total) {
        if (!bar_)
            return;
        bar_->setPosition(total > 0 ? static_cast<int>(std::clamp<qint64>(done * 100 / total, 0, 100))
                                     : 100);
        RaiseWithNativeWindow(*bar_);
    });
    connect(tasks_, &TaskRunner::finished, this, [this] {
        if (bar_) {
            bar_->hide();
            bar_->setGeometry(hooks_.barRect(false));
        }
        Q_EMIT stateChanged();
        Q_EMIT finished();
    });
}

bool ListTaskFlow::running() const { return tasks_->busy(); }

bool ListTaskFlow::start(std::function<void()> work)
{
    if (shutDown_ || !work)
        return false;
    return tasks_->start(QStringLiteral("window"), [work = std::move(work)](TaskRunner::Context&) {
        work();
        return 0;
    });
}

// A deletion stops between two recordings without a question, as does a task already told to
// stop (the stop button, a pulled card).
bool ListTaskFlow::confirmClose()
{
    if (shutDown_ || !tasks_->runningFlag().load())
        return true;
    const int command = commands_->runningCommand();
    if (command != CListCommands::kCmdJoin && command != CListCommands::kCmdCsv)
        return true;
    if (CMsgBox::Show(&window_, text(TXT_MSG_CLOSE_WHILE_SAVING), text(TXT_CONFIRM),
                      CMsgBox::kOkCancel) != CMsgBox::kIdOk)
        return false;
    commands_->abandon();
    return true;
}

void ListTaskFlow::shutdown()
{
    shutDown_ = true;
    tasks_->abandon();
    tasks_->wait();
}

void ListTaskFlow::onStarted()
{
    if (bar_) {
        bar_->setRange(0, 100);
        bar_->setPosition(0);
        bar_->setGeometry(hooks_.barRect(true));
        bar_->show();
        RaiseWithNativeWindow(*bar_);
    }
    Q_EMIT stateChanged();
}

void ListTaskFlow::onFinished(int command, bool changed)
{
    const int restore = std::exchange(restoreFrame_, -1);
    const bool rewind = std::exchange(rewindAfterTask_, false);
    // Nothing is put back after the shutdown, on a pulled card, or after a deletion that changed
    // the list (it has shown the source anew and opened its first row).
    if (shutDown_ || hooks_.sourceGone() || catalogue_.sourceLost() ||
        (command == CListCommands::kCmdDelete && changed)) {
        Q_EMIT stateChanged();
        return;
    }
    // The joined save leaves the recording at its start, stopped.
    if (rewind && session_.ready()) {
        session_.SeekAll(0);
        session_.StopEngines();
    }
    // The current recording opens again; the export brings it back to the frame it showed.
    if ((!sequencer_ || !sequencer_->reopen(rewind ? -1 : restore)) && browser_.rowCount() > 0)
        browser_.setCurrentRow(0);
    Q_EMIT stateChanged();
}

}  // namespace ravir
