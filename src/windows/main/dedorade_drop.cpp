// CdedoradeDlg: a card, folder or movie dropped on the window, or given when the viewer starts,
// opens as the source.
#include "windows/main/dedorade_dlg.h"

#include "windows/catalogue/list_commands.h"
#include "windows/main/source_drop.h"
#include "windows/main/window_source.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace ravir {

bool CdedoradeDlg::OpenSourcePath(const QString& path)
{
    if (shutDown_ || (commands_ && commands_->busy()))
        return false;
    return source_->openPath(path);
}

void CdedoradeDlg::dragEnterEvent(QDragEnterEvent* event)
{
    // Only local files and folders are taken; the cursor says so before the drop.
    if (!shutDown_ && !DroppedSourcePath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CdedoradeDlg::dropEvent(QDropEvent* event)
{
    const QString path = DroppedSourcePath(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened from the event loop: the drag source is not kept waiting on a message box.
    QMetaObject::invokeMethod(this, [this, path] { OpenSourcePath(path); }, Qt::QueuedConnection);
}

}  // namespace ravir
