// CdedoradeDlg: a card, folder or movie dropped on the window, or given when the viewer starts,
// opens as the source.
#include "windows/main/dedorade_dlg.h"

#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "catalogue/recording_name.h"
#include "windows/catalogue/source_open_dlg.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_progress.h"
#include "windows/main/source_drop.h"
#include "playback/dual_surface.h"
#include "shell/ui_text.h"
#include "windows/views/info_dlg.h"
#include "windows/views/info_format.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace ravir {

bool CdedoradeDlg::OpenSourcePath(const QString& path)
{
    if (m_shutDown || (m_commands && m_commands->busy()))
        return false;
    const SourceMode mode = SourceModeOfPath(path);
    if (mode == SourceMode::None)
        return false;
    // A file that is not a recording is refused before anything is closed.
    if (mode == SourceMode::File && !IsRecordingName(path)) {
        CMsgBox::Error(this, text(TXT_MSG_OPEN_FAILED));
        return false;
    }
    CloseRecording();
    m_csvAvailable = false;
    if (m_surface)
        m_surface->setView(DisplayView::Main);
    const bool opened = OpenChosenSource(m_catalogue, mode, path, this);
    if (opened) {
        RememberSourceDevice();
        m_csvAvailable = m_catalogue.mode() == SourceMode::Drive && !m_catalogue.shownRecords().empty();
        m_infoView->setTraceSwitch(TraceSwitchFor(m_catalogue.mode(), m_catalogue.sourcePath()));
    }
    m_browser->reload();
    if (opened && m_browser->rowCount() > 0)
        m_browser->setCurrentRow(0);
    RefreshControlStates();
    // A movie with a recording's name that is no movie leaves the list empty.
    if (opened && mode == SourceMode::File && m_browser->rowCount() == 0) {
        CMsgBox::Error(this, text(TXT_MSG_OPEN_FAILED));
        return false;
    }
    return opened;
}

void CdedoradeDlg::dragEnterEvent(QDragEnterEvent* event)
{
    // Only local files and folders are taken; the cursor says so before the drop.
    if (!m_shutDown && !DroppedSourcePath(event->mimeData()).isEmpty())
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
