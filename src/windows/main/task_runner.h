#pragma once
// TaskRunner: the main window's background task. One task at a time runs on a worker thread;
// it reports progress and its end to the window thread as queued signals, and the stop button
// clears the running flag that the task polls.
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

class QThread;

namespace ravir {

class TaskRunner : public QObject {
    Q_OBJECT
public:
    // What the task sees: the running flag (cleared by stop()) and a progress reporter that may
    // be called from the worker thread.
    struct Context {
        std::atomic<bool>* running = nullptr;
        std::atomic<bool>* stop = nullptr;  // set by stop(): the opposite of running
        // Set by abandon() before the stop: nothing the task made may stay (the window closes).
        std::atomic<bool>* abandoned = nullptr;
        std::function<void(qint64 done, qint64 total)> progress;
        bool stopRequested() const { return !running->load(); }
    };
    // The task's body; its result code goes to finished().
    using Task = std::function<int(Context&)>;

    explicit TaskRunner(QObject* parent = nullptr);
    ~TaskRunner() override;

    // Starts the task on a new worker thread; false (nothing started) while another runs.
    bool start(const QString& name, Task task);
    bool busy() const { return thread_ != nullptr; }
    QString currentName() const { return name_; }
    // Clears the running flag; the task ends at its next check.
    void stop();
    // The same stop, for a task whose work is to be thrown away: it leaves nothing behind.
    void abandon();
    // Waits for the worker to end (the shutdown and the stop button); finished() is still
    // delivered by the event loop.
    void wait();
    std::atomic<bool>& runningFlag() { return running_; }

Q_SIGNALS:
    void started(const QString& name);
    void progress(qint64 done, qint64 total);
    // The task ended; stopped tells whether the running flag had been cleared.
    void finished(const QString& name, int result, bool stopped);

private:
    QThread* thread_ = nullptr;
    QString name_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> abandoned_{false};
    std::atomic<int> result_{0};
};

}  // namespace ravir
