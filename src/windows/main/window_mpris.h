#pragma once
// The desktop's media controls of the main window: the session's state on the bus, and what
// the bus asks for sent down the window's one command path. Without a session bus the service
// stays off and the viewer carries on without it.
#include "windows/main/command.h"

#include <QObject>

#include <functional>
#include <memory>

class QWidget;

namespace ravir {

class CFilerContainerDlg;
class MprisService;
class MprisTarget;
class RecordingSession;

class WindowMpris : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(Command command)> dispatch;  // the window's command path
        std::function<int()> volume;                // 0 .. 65535
        std::function<void(int volume)> setVolume;
    };
    // Starts the service; `window` is raised when the desktop asks.
    WindowMpris(QWidget& window, RecordingSession& session, CFilerContainerDlg& browser, Hooks hooks);
    ~WindowMpris() override;

    void refresh();  // the state may have changed (only while the service runs)
    void stop();
    MprisService* service() const { return service_; }
    MprisTarget* target() const { return target_.get(); }

private:
    std::unique_ptr<MprisTarget> target_;
    MprisService* service_ = nullptr;
};

}  // namespace ravir
