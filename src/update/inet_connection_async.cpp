#include "update/inet_connection_async.h"

#include "shell/ini_keys.h"

#include <QThread>

namespace ravir {

CInetConnectionAsync::CInetConnectionAsync(QObject* parent) : QObject(parent) {}

CInetConnectionAsync::~CInetConnectionAsync()
{
    Stop();
}

void CInetConnectionAsync::setBaseUrl(const QString& baseUrl)
{
    baseUrl_ = baseUrl;
}

void CInetConnectionAsync::setLimits(const HttpLimits& limits)
{
    limits_ = limits;
}

void CInetConnectionAsync::setTextReadyCallback(std::function<void()> callback)
{
    callback_ = std::move(callback);
}

bool CInetConnectionAsync::StartUpdateCheck(const QString& recorderVersion,
                                            const QString& gpsVersion,
                                            const QString& downloadKey)
{
    if (started_)
        return false;
    const QString baseUrl = baseUrl_ ? *baseUrl_ : ReadUpdateHost();
    if (baseUrl.trimmed().isEmpty())
        return false;
    started_ = true;
    update::UpdateInputs inputs{recorderVersion, gpsVersion, downloadKey, QString()};
    thread_ = QThread::create([this, inputs, baseUrl, limits = limits_] {
        work(inputs, baseUrl, limits);
    });
    thread_->setObjectName(QStringLiteral("update check"));
    thread_->start();
    return true;
}

void CInetConnectionAsync::work(update::UpdateInputs inputs, QString baseUrl, HttpLimits limits)
{
    const update::CheckResult result = update::runUpdateCheck(baseUrl, inputs, limits, &stop_);
    if (!result.text.isEmpty() && !stop_.load()) {
        {
            QMutexLocker lock(&mutex_);
            text_ = result.text;
        }
        finished_.store(true);
        Q_EMIT textReady();
        if (callback_)
            callback_();
        return;
    }
    finished_.store(true);
}

void CInetConnectionAsync::Stop()
{
    stop_.store(true);
    if (thread_ && QThread::currentThread() == thread_)
        return;  // called from the worker's own notification: it ends by itself
    if (thread_) {
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
}

QString CInetConnectionAsync::updateText() const
{
    QMutexLocker lock(&mutex_);
    return text_;
}

}  // namespace ravir
