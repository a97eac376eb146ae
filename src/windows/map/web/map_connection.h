#pragma once
// The map's connection tester: a worker thread asks the tile host every 1000 ms whether it
// answers (any HTTP answer counts) and keeps a "connected" flag. The window thread only reads
// the flag and receives connectedChanged() through a queued connection; it never waits on the
// network.
#include <QObject>
#include <QUrl>

#include <atomic>

class QThread;

namespace ravir::map {

class CMapConnectionTester : public QObject {
    Q_OBJECT
public:
    explicit CMapConnectionTester(QObject* parent = nullptr);
    ~CMapConnectionTester() override;  // stops the worker (a request under way is aborted)

    // The host to test: the scheme, host and port of a tile URL; its root path is asked.
    // Starts the worker on the first call.
    void start(const QUrl& tileUrl, int intervalMs = 1000);
    void stop();

    // Disabled: connected stays false and nothing is sent. A change triggers one test at once.
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_.load(); }
    bool isConnected() const { return connected_.load(); }

    // The root URL asked for a tile URL ("https://tile.example:8443/").
    static QUrl rootOf(const QUrl& tileUrl);

Q_SIGNALS:
    void connectedChanged(bool connected);
    void testNow();  // internal: to the worker

private:
    void report(bool connected);

    std::atomic<bool> enabled_{true};
    std::atomic<bool> connected_{false};
    QThread* thread_ = nullptr;
    QObject* worker_ = nullptr;
};

}  // namespace ravir::map
