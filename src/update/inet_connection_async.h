#pragma once
// Runs the update check once per run on a worker thread and hands its text to the main window.
// The worker never touches a window: it stores the text under the object's mutex and then
// announces it with textReady() (emitted on the worker thread; a queued connection brings it to
// the UI thread) and the optional callback.
#include "update/http_session.h"
#include "update/update_check.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

class QThread;

namespace ravir {

class CInetConnectionAsync : public QObject {
    Q_OBJECT
public:
    explicit CInetConnectionAsync(QObject* parent = nullptr);
    ~CInetConnectionAsync() override;  // stops and waits for the worker

    // The maker's host. Unless set here, StartUpdateCheck reads it from the configuration file
    // (UPDATE/HOST); an empty host means no check.
    void setBaseUrl(const QString& baseUrl);
    void setLimits(const HttpLimits& limits);
    // Called on the worker thread after the text was stored.
    void setTextReadyCallback(std::function<void()> callback);

    // Stores the three inputs and starts the worker. Does nothing (false) when a check was
    // already started by this object, or when no host is set.
    bool StartUpdateCheck(const QString& recorderVersion, const QString& gpsVersion,
                          const QString& downloadKey);

    // Asks the worker to end and waits for it. Every request ends within its time limits, and
    // a request that is under way is aborted within 50 ms.
    void Stop();

    bool isStarted() const { return started_; }
    bool isFinished() const { return finished_.load(); }

    // The update text once it is ready (empty before, and when there is nothing to report).
    QString updateText() const;

Q_SIGNALS:
    void textReady();

private:
    void work(update::UpdateInputs inputs, QString baseUrl, HttpLimits limits);

    mutable QMutex mutex_;
    QString text_;
    std::optional<QString> baseUrl_;
    HttpLimits limits_;
    std::function<void()> callback_;
    bool started_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    QThread* thread_ = nullptr;
};

}  // namespace ravir
