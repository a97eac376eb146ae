#include "windows/map/web/map_connection.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace ravir::map {
namespace {

// Lives on the tester's thread: one request at a time, each limited to 3 s.
class TesterWorker : public QObject {
public:
    TesterWorker(QUrl root, int intervalMs, std::function<bool()> enabled,
                 std::function<void(bool)> report)
        : root_(std::move(root)), intervalMs_(intervalMs), enabled_(std::move(enabled)),
          report_(std::move(report))
    {
    }

    void begin()
    {
        nam_ = new QNetworkAccessManager(this);
        timer_ = new QTimer(this);
        timer_->setInterval(intervalMs_);
        connect(timer_, &QTimer::timeout, this, &TesterWorker::test);
        timer_->start();
        test();
    }

    void test()
    {
        if (reply_)
            return;  // the previous test is still under way
        if (!enabled_()) {
            report_(false);
            return;
        }
        QNetworkRequest request(root_);
        request.setRawHeader("Accept", "*/*");
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setTransferTimeout(3000);
        reply_ = nam_->head(request);
        connect(reply_, &QNetworkReply::finished, this, [this] {
            QNetworkReply* reply = reply_;
            reply_ = nullptr;
            const bool answered =
                reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
            reply->deleteLater();
            report_(answered && enabled_());
        });
    }

    void end()
    {
        if (timer_)
            timer_->stop();
        if (reply_) {
            QNetworkReply* reply = reply_;
            reply_ = nullptr;
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
    }

private:
    QUrl root_;
    int intervalMs_;
    std::function<bool()> enabled_;
    std::function<void(bool)> report_;
    QNetworkAccessManager* nam_ = nullptr;
    QTimer* timer_ = nullptr;
    QNetworkReply* reply_ = nullptr;
};

}  // namespace

CMapConnectionTester::CMapConnectionTester(QObject* parent) : QObject(parent) {}

CMapConnectionTester::~CMapConnectionTester() { stop(); }

QUrl CMapConnectionTester::rootOf(const QUrl& tileUrl)
{
    QUrl root;
    root.setScheme(tileUrl.scheme());
    root.setHost(tileUrl.host());
    root.setPort(tileUrl.port());
    root.setPath(QStringLiteral("/"));
    return root;
}

void CMapConnectionTester::start(const QUrl& tileUrl, int intervalMs)
{
    if (thread_)
        return;
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("map connection tester"));
    auto* worker = new TesterWorker(
        rootOf(tileUrl), intervalMs, [this] { return enabled_.load(); },
        [this](bool c) { report(c); });
    worker->moveToThread(thread_);
    worker_ = worker;
    connect(thread_, &QThread::started, worker, [worker] { worker->begin(); });
    connect(this, &CMapConnectionTester::testNow, worker, [worker] { worker->test(); },
            Qt::QueuedConnection);
    thread_->start();
}

void CMapConnectionTester::stop()
{
    if (!thread_)
        return;
    auto* worker = static_cast<TesterWorker*>(worker_);
    QMetaObject::invokeMethod(
        worker, [worker] { worker->end(); delete worker; }, Qt::BlockingQueuedConnection);
    worker_ = nullptr;
    thread_->quit();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

void CMapConnectionTester::setEnabled(bool enabled)
{
    enabled_.store(enabled);
    if (!enabled)
        report(false);
    Q_EMIT testNow();
}

void CMapConnectionTester::report(bool connected)
{
    if (connected_.exchange(connected) != connected)
        Q_EMIT connectedChanged(connected);  // queued to receivers on other threads
}

}  // namespace ravir::map
