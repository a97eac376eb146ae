#include "windows/main/task_runner.h"

#include <QThread>

namespace ravir {

TaskRunner::TaskRunner(QObject* parent) : QObject(parent) {}

TaskRunner::~TaskRunner()
{
    if (thread_) {
        stop();
        thread_->wait();
        delete thread_;
    }
}

bool TaskRunner::start(const QString& name, Task task)
{
    if (thread_ || !task)
        return false;
    name_ = name;
    running_ = true;
    stop_ = false;
    abandoned_ = false;
    result_ = 0;
    thread_ = QThread::create([this, task = std::move(task)]() {
        Context context;
        context.running = &running_;
        context.stop = &stop_;
        context.abandoned = &abandoned_;
        context.progress = [this](qint64 done, qint64 total) {
            // Emitted from the worker: the connection to the window thread is queued.
            Q_EMIT progress(done, total);
        };
        result_ = task(context);
    });
    thread_->setObjectName(QStringLiteral("task:") + name);
    connect(thread_, &QThread::finished, this, [this]() {
        QThread* done = thread_;
        thread_ = nullptr;
        const bool stopped = !running_.exchange(false);
        const QString taskName = name_;
        done->wait();
        delete done;
        Q_EMIT finished(taskName, result_.load(), stopped);
    }, Qt::QueuedConnection);
    Q_EMIT started(name);
    thread_->start();
    return true;
}

void TaskRunner::stop()
{
    stop_ = true;
    running_ = false;
}

void TaskRunner::abandon()
{
    // Set first: a task that sees the stop sees this too.
    abandoned_ = true;
    stop();
}

void TaskRunner::wait()
{
    if (thread_)
        thread_->wait();
}

}  // namespace ravir
