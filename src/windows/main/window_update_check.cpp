#include "windows/main/window_update_check.h"

#include "catalogue/catalogue.h"
#include "shell/ini_keys.h"
#include "update/inet_connection_async.h"
#include "windows/update/update_dlg.h"

namespace ravir {

WindowUpdateCheck::WindowUpdateCheck(QObject* parent) : QObject(parent)
{
    connect(this, &WindowUpdateCheck::textReady, this,
            [](const QString& text) { CUpdateDialog::ShowText(text); });
}

void WindowUpdateCheck::start(const RecorderInfo& info)
{
    if (stopped_ || connection_ || ReadUpdateHost().isEmpty())
        return;
    connection_ = new CInetConnectionAsync(this);
    connect(connection_, &CInetConnectionAsync::textReady, this, [this] {
        if (stopped_)
            return;
        text_ = connection_->updateText();
        if (!text_.isEmpty())
            Q_EMIT textReady(text_);
    }, Qt::QueuedConnection);
    // The GPS data version is the six-digit number the recorder writes after its telemetry.
    connection_->StartUpdateCheck(info.version, info.number, info.downloadKey);
}

void WindowUpdateCheck::stop()
{
    stopped_ = true;
    if (connection_)
        connection_->Stop();
}

bool WindowUpdateCheck::started() const { return connection_ && connection_->isStarted(); }

}  // namespace ravir
