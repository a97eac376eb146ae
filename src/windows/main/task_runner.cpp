#include "windows/main/task_runner.h"

#include <QThread>

namespace ravir {

TaskRunner::TaskRunner(QObject* parent) : QObject(parent) {}

TaskRunner::~TaskRunner()
{
    if (m_thread) {
        stop();
        m_thread->wait();
        delete m_thread;
    }
}

bool TaskRunner::start(const QString& name, Task task)
{
    if (m_thread || !task)
        return false;
    m_name = name;
    m_running = true;
    m_stop = false;
    m_abandoned = false;
    m_result = 0;
    m_thread = QThread::create([this, task = std::move(task)]() {
        Context context;
        context.running = &m_running;
        context.stop = &m_stop;
        context.abandoned = &m_abandoned;
        context.progress = [this](qint64 done, qint64 total) {
            // Emitted from the worker: the connection to the window thread is queued.
            Q_EMIT progress(done, total);
        };
        m_result = task(context);
    });
    m_thread->setObjectName(QStringLiteral("task:") + name);
    connect(m_thread, &QThread::finished, this, [this]() {
        QThread* done = m_thread;
        m_thread = nullptr;
        const bool stopped = !m_running.exchange(false);
        const QString taskName = m_name;
        done->wait();
        delete done;
        Q_EMIT finished(taskName, m_result.load(), stopped);
    }, Qt::QueuedConnection);
    Q_EMIT started(name);
    m_thread->start();
    return true;
}

void TaskRunner::stop()
{
    m_stop = true;
    m_running = false;
}

void TaskRunner::abandon()
{
    // Set first: a task that sees the stop sees this too.
    m_abandoned = true;
    stop();
}

void TaskRunner::wait()
{
    if (m_thread)
        m_thread->wait();
}

}  // namespace ravir
