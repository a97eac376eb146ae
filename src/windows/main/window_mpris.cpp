#include "windows/main/window_mpris.h"

#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/main/mpris_service.h"
#include "windows/main/session_mpris.h"

#include <QWidget>

namespace ravir {

WindowMpris::WindowMpris(QWidget& window, RecordingSession& session, CFilerContainerDlg& browser,
                         Hooks hooks)
    : QObject(&window)
{
    SessionMpris::Hooks h;
    h.dispatch = std::move(hooks.dispatch);
    h.volume = std::move(hooks.volume);
    h.setVolume = std::move(hooks.setVolume);
    h.raise = [&window] {
        if (window.isMinimized())
            window.showNormal();
        window.raise();
        window.activateWindow();
    };
    h.canGoNext = [&browser] {
        const int row = browser.listCtrl()->playingRow();
        return row >= 0 && row + 1 < browser.rowCount();
    };
    h.seeked = [this] {
        if (service_)
            service_->seeked();
    };
    target_ = std::make_unique<SessionMpris>(session, std::move(h));
    service_ = new MprisService(target_.get(), this);
    service_->start();
}

WindowMpris::~WindowMpris() = default;

void WindowMpris::refresh()
{
    if (service_->isRunning())
        service_->refresh();
}

void WindowMpris::stop() { service_->stop(); }

}  // namespace ravir
