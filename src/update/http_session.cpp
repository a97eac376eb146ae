#include "update/http_session.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace ravir {
namespace {

// The desktop's and the environment's (http_proxy, no_proxy) proxy settings for this manager
// alone, without changing the process-wide factory.
class SystemProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return QNetworkProxyFactory::systemProxyForQuery(query);
    }
};

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

bool isHttpUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

HttpSession::HttpSession(const HttpLimits& limits, const std::atomic<bool>* cancel)
    : limits_(limits), cancel_(cancel), manager_(std::make_unique<QNetworkAccessManager>())
{
    if (limits_.useSystemProxy)
        manager_->setProxyFactory(new SystemProxyFactory);  // the manager takes ownership
    else
        manager_->setProxy(QNetworkProxy::NoProxy);
    manager_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

HttpSession::~HttpSession() = default;

HttpResponse HttpSession::get(const QUrl& url)
{
    HttpResponse response;
    QElapsedTimer clock;
    clock.start();
    QUrl current = url;
    for (int hop = 0;; ++hop) {
        if (!isHttpUrl(current)) {
            response.error = QStringLiteral("not an http or https URL");
            return response;
        }
        const qint64 left = limits_.totalTimeoutMs - clock.elapsed();
        if (left <= 0 || (cancel_ && cancel_->load())) {
            response.error = QStringLiteral("timed out");
            return response;
        }
        QNetworkRequest request(current);
        request.setRawHeader("Accept", "*/*");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setTransferTimeout(limits_.idleTimeoutMs);

        QNetworkReply* reply = manager_->get(request);
        reply->setReadBufferSize(64 * 1024);
        QEventLoop loop;
        QByteArray body;
        bool truncated = false;
        bool timedOut = false;
        const qint64 maxBody = limits_.maxBodyBytes;
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            body += reply->read(maxBody + 1 - body.size());
            if (body.size() > maxBody) {
                body.truncate(maxBody);
                truncated = true;
                reply->abort();
            }
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer total;
        total.setSingleShot(true);
        QObject::connect(&total, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            reply->abort();
        });
        total.start(static_cast<int>(left));
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (cancel_ && cancel_->load()) {
                timedOut = true;
                reply->abort();
            }
        });
        poll.start(50);
        if (!reply->isFinished())
            loop.exec();
        total.stop();
        poll.stop();
        if (!truncated && !timedOut && reply->error() == QNetworkReply::NoError) {
            const QByteArray rest = reply->read(maxBody + 1 - body.size());
            body += rest;
            if (body.size() > maxBody) {
                body.truncate(maxBody);
                truncated = true;
            }
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl location = current.resolved(
            reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
        const QNetworkReply::NetworkError error = reply->error();
        const QString errorText = reply->errorString();
        delete reply;
        response.status = status;

        if (timedOut) {
            response.error = QStringLiteral("timed out");
            return response;
        }
        if (isRedirect(status)) {
            if (hop >= limits_.maxRedirects) {
                response.error = QStringLiteral("too many redirects");
                return response;
            }
            if (!isHttpUrl(location) || location == current) {
                response.error = QStringLiteral("bad redirect target");
                return response;
            }
            current = location;
            continue;
        }
        if (truncated && status >= 200 && status < 300) {
            // The answer was longer than allowed: its first part is kept.
            response.ok = true;
            response.truncated = true;
            response.body = body;
            return response;
        }
        if (error != QNetworkReply::NoError) {
            response.error = error == QNetworkReply::OperationCanceledError
                                 ? QStringLiteral("timed out")
                                 : errorText;
            return response;
        }
        if (status < 200 || status >= 300) {
            response.error = QStringLiteral("HTTP status %1").arg(status);
            return response;
        }
        response.ok = true;
        response.body = body;
        return response;
    }
}

}  // namespace ravir
