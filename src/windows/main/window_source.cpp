#include "windows/main/window_source.h"

#include "catalogue/recording_name.h"
#include "catalogue/source_select.h"
#include "catalogue/source_watcher.h"
#include "playback/dual_surface.h"
#include "shell/ui_text.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/list_commands.h"
#include "windows/catalogue/source_open_dlg.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/recording_session.h"
#include "windows/main/source_mount.h"
#include "windows/main/task_runner.h"
#include "windows/map/map_window.h"
#include "windows/views/info_dlg.h"
#include "windows/views/info_format.h"

#include <QCoreApplication>

namespace ravir {

WindowSource::WindowSource(Parts parts, QObject* parent) : QObject(parent), parts_(parts) {}

WindowSource::~WindowSource() = default;

void WindowSource::startWatching()
{
    // The watcher reports from its worker; the window reacts on its own thread. A task working
    // on the card is told at once, from the watcher's worker (the running flag is an atomic), so
    // that it reads nothing more of the card while the window thread is busy.
    watcher_ = std::make_unique<SourceWatcher>(
        [this] {
            parts_.tasks.stop();
            QMetaObject::invokeMethod(this, [this] { vanished(); }, Qt::QueuedConnection);
        },
        &parts_.catalogue.sourceLostFlag());
    parts_.catalogue.setSourceWatcher(watcher_.get());
    watcher_->start();
}

void WindowSource::stop()
{
    stopped_ = true;
    if (watcher_)
        watcher_->stop();
}

void WindowSource::opened()
{
    Catalogue& catalogue = parts_.catalogue;
    gone_ = false;
    mount_ = MountPointOf(catalogue.mode() == SourceMode::File ? catalogue.singleFile()
                                                               : catalogue.sourcePath());
    csvAvailable_ = catalogue.mode() == SourceMode::Drive && !catalogue.shownRecords().empty();
    parts_.info.setTraceSwitch(TraceSwitchFor(catalogue.mode(), catalogue.sourcePath()));
}

void WindowSource::showList(bool chooseFirst)
{
    parts_.browser.reload();
    if (chooseFirst && parts_.browser.rowCount() > 0)
        parts_.browser.setCurrentRow(0);  // chosen: opened through recordingChosen, row marked
}

bool WindowSource::openAtStart(const QString& path)
{
    Catalogue& catalogue = parts_.catalogue;
    bool ok = false;
    if (!path.isEmpty()) {
        ok = openPath(path);
    } else {
        ok = ChooseStartupSource(catalogue);
        if (ok)
            opened();
        showList(ok);
    }
    csvAvailable_ = ok && catalogue.mode() == SourceMode::Drive && !catalogue.shownRecords().empty();
    parts_.info.setTraceSwitch(ok && TraceSwitchFor(catalogue.mode(), catalogue.sourcePath()));
    return ok;
}

bool WindowSource::openPath(const QString& path)
{
    const SourceMode mode = SourceModeOfPath(path);
    if (mode == SourceMode::None)
        return false;
    // A file that is not a recording is refused before anything is closed.
    if (mode == SourceMode::File && !IsRecordingName(path)) {
        CMsgBox::Error(&parts_.window, text(TXT_MSG_OPEN_FAILED));
        return false;
    }
    Q_EMIT closeRecordingRequested();
    csvAvailable_ = false;
    parts_.surface.setView(DisplayView::Main);
    const bool ok = OpenChosenSource(parts_.catalogue, mode, path, &parts_.window);
    if (ok)
        opened();
    showList(ok);
    Q_EMIT stateChanged();
    // A movie with a recording's name that is no movie leaves the list empty.
    if (ok && mode == SourceMode::File && parts_.browser.rowCount() == 0) {
        CMsgBox::Error(&parts_.window, text(TXT_MSG_OPEN_FAILED));
        return false;
    }
    return ok;
}

void WindowSource::browse()
{
    reset();
    CSourceOpenDlg dlg(&parts_.window);
    if (dlg.exec() == QDialog::Accepted &&
        OpenChosenSource(parts_.catalogue, dlg.chosenSourceMode(), dlg.chosenPath(), &parts_.window)) {
        opened();
        showList(true);
    }
    Q_EMIT stateChanged();
}

void WindowSource::reset()
{
    RecordingSession& session = parts_.session;
    // Every slot back on the recording's default rate before it closes.
    session.ApplyDefaultRate();
    parts_.map.setWindowTitle(text(TXT_MAP));
    parts_.surface.setView(DisplayView::Main);
    session.StopPrefetch();
    session.FreeTelemetry();
    // Both slots closed and the views stopped: no recording is current any more.
    Q_EMIT closeRecordingRequested();
    csvAvailable_ = false;
    Q_EMIT mapShellChanged();
    parts_.surface.update();
    parts_.info.update();
    Q_EMIT stateChanged();
}

void WindowSource::deletionReopened()
{
    if (stopped_)
        return;
    // The source was opened again by the deletion (Catalogue::OpenSource, SelectDefaultItem).
    reset();
    const SourceMode mode = parts_.catalogue.mode();
    parts_.browser.reload();
    if (mode == SourceMode::Drive || mode == SourceMode::Folder)
        parts_.info.setTraceSwitch(TraceSwitchFor(mode, parts_.catalogue.sourcePath()));
    csvAvailable_ = mode == SourceMode::Drive && !parts_.catalogue.shownRecords().empty();
    Q_EMIT stateChanged();
    if (parts_.browser.rowCount() > 0)
        parts_.browser.setCurrentRow(0);
}

void WindowSource::vanished()
{
    if (stopped_)
        return;
    gone_ = true;
    // A task on the vanished card was already told by the watcher and ends at its next check,
    // without a completion message.
    if (parts_.commands.busy())
        parts_.commands.stop();
    parts_.session.PauseIfPlaying();
    parts_.session.StopPrefetch();
    Q_EMIT closeRecordingRequested();
    parts_.surface.setView(DisplayView::Main);
    parts_.map.setWindowTitle(text(TXT_MAP));
    parts_.browser.clearViews();
    parts_.catalogue.Clear();
    csvAvailable_ = false;
    Q_EMIT leaveModesRequested();
    Q_EMIT mapShellChanged();
    Q_EMIT stateChanged();
    // The program itself ran from the card that was pulled: nothing more can be loaded from it.
    if (ProgramRunsFrom(mount_, QCoreApplication::applicationFilePath())) {
        Q_EMIT closeWindowRequested();
        return;
    }
    CMsgBox::Error(&parts_.window, text(TXT_MSG_SOURCE_GONE));
}

}  // namespace ravir
