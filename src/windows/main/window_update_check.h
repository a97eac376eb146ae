#pragma once
// The update check the main window starts after its deferred start: only when the deployment
// names the maker's host. The worker never touches a window; its text comes back through a
// queued signal and is shown in the update dialog.
#include <QObject>
#include <QString>

namespace ravir {

class CInetConnectionAsync;
struct RecorderInfo;

class WindowUpdateCheck : public QObject {
    Q_OBJECT
public:
    explicit WindowUpdateCheck(QObject* parent = nullptr);

    // For the recorder of the open source (its GPS data version, number and download key).
    void start(const RecorderInfo& info);
    void stop();  // at shutdown: no text is taken after it
    bool started() const;
    // The update text once the check delivered it (empty before and when none).
    QString text() const { return text_; }

Q_SIGNALS:
    void textReady(const QString& text);

private:
    CInetConnectionAsync* connection_ = nullptr;
    QString text_;
    bool stopped_ = false;
};

}  // namespace ravir
