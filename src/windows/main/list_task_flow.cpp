#include "windows/main/list_task_flow.h"

#include "catalogue/catalogue.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/main/main_layout.h"
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
    : QObject(&window), m_window(window), m_catalogue(catalogue), m_session(session),
      m_browser(browser), m_bar(bar), m_hooks(std::move(hooks))
{
    m_tasks = new TaskRunner(this);
    m_commands = new CListCommands(m_catalogue, *m_tasks, &m_window, this);
    m_commands->setProgressBar(m_bar);
    m_commands->setBeforeTask([this](int command) {
        // Playback pauses while the task runs; the deletion closes the recording, so that no
        // file of it is held, the joined save rewinds it, the export comes back to where it was.
        m_session.PauseIfPlaying();
        m_session.StopPrefetch();
        m_restoreFrame = -1;
        m_rewindAfterTask = false;
        if (command == cmd::kDelete) {
            m_hooks.closeRecording(true);  // opened again after the task, unless the list changed
        } else if (command == cmd::kSaveJoined) {
            m_rewindAfterTask = true;
            m_session.SeekAll(0);
        } else {
            // The export holds no file of the source open; the frame comes back afterwards.
            m_restoreFrame = std::max(0, m_session.shownFrame());
            m_hooks.closeRecording(true);
        }
    });
    connect(m_commands, &CListCommands::taskFinished, this, &ListTaskFlow::onFinished);
    connect(m_commands, &CListCommands::sourceReopened, this, &ListTaskFlow::sourceReopened);

    // The bar over the video while a task runs.
    connect(m_tasks, &TaskRunner::started, this, &ListTaskFlow::onStarted);
    connect(m_tasks, &TaskRunner::progress, this, [this](qint64 done, qint64 total) {
        if (!m_bar)
            return;
        m_bar->setPosition(total > 0 ? static_cast<int>(std::clamp<qint64>(done * 100 / total, 0, 100))
                                     : 100);
        m_bar->raise();
    });
    connect(m_tasks, &TaskRunner::finished, this, [this] {
        if (m_bar) {
            m_bar->hide();
            m_bar->setGeometry(m_hooks.barRect(false));
        }
        Q_EMIT stateChanged();
        Q_EMIT finished();
    });
}

bool ListTaskFlow::running() const { return m_tasks->busy(); }

bool ListTaskFlow::start(std::function<void()> work)
{
    if (m_shutDown || !work)
        return false;
    return m_tasks->start(QStringLiteral("window"), [work = std::move(work)](TaskRunner::Context&) {
        work();
        return 0;
    });
}

// A deletion stops between two recordings without a question, as does a task already told to
// stop (the stop button, a pulled card).
bool ListTaskFlow::confirmClose()
{
    if (m_shutDown || !m_tasks->runningFlag().load())
        return true;
    const int command = m_commands->runningCommand();
    if (command != CListCommands::kCmdJoin && command != CListCommands::kCmdCsv)
        return true;
    if (CMsgBox::Show(&m_window, text(TXT_MSG_CLOSE_WHILE_SAVING), text(TXT_CONFIRM),
                      CMsgBox::kOkCancel) != CMsgBox::kIdOk)
        return false;
    m_commands->abandon();
    return true;
}

void ListTaskFlow::shutdown()
{
    m_shutDown = true;
    m_tasks->abandon();
    m_tasks->wait();
}

void ListTaskFlow::onStarted()
{
    if (m_bar) {
        m_bar->setRange(0, 100);
        m_bar->setPosition(0);
        m_bar->setGeometry(m_hooks.barRect(true));
        m_bar->show();
        m_bar->raise();
    }
    Q_EMIT stateChanged();
}

void ListTaskFlow::onFinished(int command, bool changed)
{
    const int restore = std::exchange(m_restoreFrame, -1);
    const bool rewind = std::exchange(m_rewindAfterTask, false);
    // Nothing is put back after the shutdown, on a pulled card, or after a deletion that changed
    // the list (it has shown the source anew and opened its first row).
    if (m_shutDown || m_hooks.sourceGone() || m_catalogue.sourceLost() ||
        (command == cmd::kDelete && changed)) {
        Q_EMIT stateChanged();
        return;
    }
    // The joined save leaves the recording at its start, stopped.
    if (rewind && m_session.ready()) {
        m_session.SeekAll(0);
        m_session.StopEngines();
    }
    // The current recording opens again; the export brings it back to the frame it showed.
    if ((!m_sequencer || !m_sequencer->reopen(rewind ? -1 : restore)) && m_browser.rowCount() > 0)
        m_browser.setCurrentRow(0);
    Q_EMIT stateChanged();
}

}  // namespace ravir
