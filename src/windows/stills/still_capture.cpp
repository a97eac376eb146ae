#include "windows/stills/still_capture.h"

#include "catalogue/output_guard.h"
#include "exports/still_paths.h"
#include "windows/kit/msg_dlg.h"
#include "playback/player.h"
#include "shell/ini_keys.h"
#include "windows/kit/remembered_folder.h"
#include "shell/ui_text.h"

#include <QFileInfo>

#include <cmath>

namespace ravir {

CStillCapture::CStillCapture(QWidget* owner, QObject* parent) : QObject(parent), owner_(owner)
{
    guard_.setSingleShot(true);
    connect(&guard_, &QTimer::timeout, this, [this] {
        if (busy_ && (waitMain_ || waitSub_)) {
            waitMain_ = waitSub_ = false;
            save();
        }
    });
    chooser_ = [this] {
        return ChooseRememberedFolder(owner_, ini::kSnapshotFolder.section,
                                      ini::kSnapshotFolder.key,
                                      text(TXT_MSG_SELECT_BACKUP_FOLDER));
    };
}

bool CStillCapture::Capture(Player* main, Player* sub, const QString& recordingFileName)
{
    if (busy_)
        return false;
    result_ = Result();
    if (!main || !main->IsReady()) {
        result_.outcome = Outcome::NotReady;
        return false;
    }
    main_ = main;
    sub_ = (sub && sub->IsReady()) ? sub : nullptr;
    // The overlay text is not part of a still.
    bool accepted = main_->DrawOverlayText(QString());
    if (sub_)
        accepted = sub_->DrawOverlayText(QString()) || accepted;
    if (!accepted) {
        result_.outcome = Outcome::NotReady;
        return false;
    }
    busy_ = true;
    restored_ = false;
    if (pauseAll_) {
        pauseAll_();
    } else {
        main_->Pause();
        if (sub_)
            sub_->Pause();
    }

    // A pending seek decides the frame shown.
    const int pending = main_->PendingSeekFrame();
    result_.frame = pending >= 0 ? pending : main_->GetCurrentFrame();
    if (result_.frame < 0) {
        CMsgBox::Error(owner_, text(TXT_MSG_IMAGE_SAVE_FAILED));
        end(Outcome::NoFrame, false);
        return false;
    }
    folder_ = chooser_ ? chooser_() : QString();
    if (folder_.isEmpty()) {
        end(Outcome::Cancelled, false);
        return false;
    }
    const StillPaths paths = MakeStillPaths(folder_, StillBaseName(recordingFileName),
                                            result_.frame);
    result_.mainPath = paths.main;
    result_.subPath = paths.sub;
    if (paths.main.isEmpty()) {
        CMsgBox::Error(owner_, text(TXT_MSG_IMAGE_SAVE_FAILED));
        end(Outcome::Failed, false);
        return false;
    }
    if (QFileInfo::exists(paths.main) &&
        CMsgBox::Show(owner_, text(TXT_MSG_SAME_NAME_EXISTS), text(TXT_CONFIRM),
                      CMsgBox::kOkCancel) != CMsgBox::kIdOk) {
        end(Outcome::OverwriteDeclined, false);
        return false;
    }

    // Both cameras on the same moment: the sub camera's frame scaled by the frame durations.
    waitMain_ = main_->PendingSeekFrame() >= 0;
    if (sub_) {
        const double ratio =
            sub_->GetFrameMs() > 0 ? double(main_->GetFrameMs()) / sub_->GetFrameMs() : 1.0;
        const long long last = std::max<long long>(0, sub_->GetFrameCount() - 1);
        result_.subFrame = int(std::clamp<long long>(std::llround(result_.frame * ratio), 0, last));
        if (sub_->GetCurrentFrame() != result_.subFrame || sub_->PendingSeekFrame() >= 0) {
            waitSub_ = true;
            sub_->SeekFrame(result_.subFrame);
        }
    }
    if (!waitMain_ && !waitSub_) {
        save();
        return true;
    }
    // The players report every seek, landed or given up; the guard covers a player that goes
    // away meanwhile.
    guard_.start(5000);
    for (Player* p : {main_.data(), sub_.data()})
        if (p)
            connections_ << connect(p, &Player::seekDone, this, [this, p](int) {
                if (p == main_ && main_->PendingSeekFrame() < 0)
                    waitMain_ = false;
                if (p == sub_ && sub_->PendingSeekFrame() < 0)
                    waitSub_ = false;
                onSeekLanded();
            });
    return true;
}

// A still never takes the place of a file of the open recording, of a device or of a
// recorder's file on a card (a chosen folder can be the card's own movie folder): such a path
// counts as a still that could not be saved.
bool CStillCapture::refused(const QString& path) const
{
    QStringList inputs;
    for (const Player* p : {main_.data(), sub_.data()})
        if (p && !p->state().moviePath.isEmpty())
            inputs << RecordingFilesOf(p->state().moviePath);
    return !OutputRefusal(path, inputs).isEmpty();
}

void CStillCapture::onSeekLanded()
{
    if (!busy_ || waitMain_ || waitSub_)
        return;
    save();
}

void CStillCapture::save()
{
    guard_.stop();
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    // Each camera's still is saved only when its engine really holds that frame, decoded (a
    // seek that ran into the end of a movie cut short, or a picture that failed to decode,
    // saves nothing).
    if (main_)
        result_.mainSaved =
            !refused(result_.mainPath) && main_->SaveFrame(result_.frame, result_.mainPath);
    if (sub_)
        result_.subSaved =
            !refused(result_.subPath) && sub_->SaveFrame(result_.subFrame, result_.subPath);
    if (result_.mainSaved || result_.subSaved) {
        WriteValue(ini::kSnapshotFolder, folder_);
        restoreWindow();
        CMsgBox::Show(owner_, text(TXT_DONE), text(TXT_EXIT), CMsgBox::kOk);
        end(Outcome::Saved, true);
    } else {
        CMsgBox::Error(owner_, text(TXT_MSG_IMAGE_SAVE_FAILED));
        end(Outcome::Failed, true);
    }
}

void CStillCapture::clearOverlays()
{
    if (main_)
        main_->ClearOverlay();
    if (sub_)
        sub_->ClearOverlay();
}

void CStillCapture::restoreWindow()
{
    if (restored_)
        return;
    restored_ = true;
    if (restore_)
        restore_();
}

void CStillCapture::end(Outcome outcome, bool emitFinished)
{
    result_.outcome = outcome;
    guard_.stop();
    restoreWindow();
    clearOverlays();
    busy_ = false;
    main_ = nullptr;
    sub_ = nullptr;
    if (emitFinished)
        Q_EMIT finished(result_);
}

}  // namespace ravir
