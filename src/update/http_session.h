#pragma once
// HTTP GET for the update check, with hard limits: whatever the network or the server does, a
// request ends within its time limits and never holds more than a bounded body in memory.
// Runs on the calling thread (a worker), with a local event loop.
#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>

class QNetworkAccessManager;

namespace ravir {

struct HttpLimits {
    int idleTimeoutMs = 5000;        // no connection or no data for this long: given up
    int totalTimeoutMs = 15000;      // the whole request, redirects included
    qint64 maxBodyBytes = 256 * 1024;  // more is cut, not read to the end
    int maxRedirects = 3;            // redirects followed (http and https targets only)
    bool useSystemProxy = true;      // the desktop's and the environment's proxy settings
};

struct HttpResponse {
    bool ok = false;         // a 2xx answer was received (body possibly cut)
    int status = 0;          // HTTP status of the last answer, 0 when there was none
    QByteArray body;         // at most maxBodyBytes
    bool truncated = false;  // the body was longer than maxBodyBytes and was cut
    QString error;           // why ok is false
};

class HttpSession {
public:
    explicit HttpSession(const HttpLimits& limits = {}, const std::atomic<bool>* cancel = nullptr);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // GET with the header "Accept: */*", no cache write. Only http and https URLs are fetched.
    HttpResponse get(const QUrl& url);

    const HttpLimits& limits() const { return limits_; }

private:
    HttpLimits limits_;
    const std::atomic<bool>* cancel_;
    std::unique_ptr<QNetworkAccessManager> manager_;
};

// True for an absolute http or https URL with a host.
bool isHttpUrl(const QUrl& url);

}  // namespace ravir
