#pragma once
// The span dialog of the evidence export (key E, the video menu): the first and the last frame
// of the main camera, each with its time beside it, and the folder to make. OK (Enter) accepts
// when the folder does not exist yet; Cancel (Escape, the close box) writes nothing.
#include "windows/kit/skin_dialog.h"

#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QSpinBox;

namespace ravir {

class CSkinButton;

class EvidenceDialog : public CSkinDialog {
    Q_OBJECT
public:
    struct Setup {
        QString movie;         // the main camera's movie: its name goes into the folder's name
        long long frames = 0;  // frames of the main camera
        double frameMs = 0;
        long long from = 0, to = 0;  // the proposed span
        QString parentFolder;  // where the folder is proposed
    };
    explicit EvidenceDialog(const Setup& setup, QWidget* parent = nullptr);

    long long fromFrame() const;
    long long toFrame() const;
    QString folder() const;
    // "evidence-<recording>-<from>-<to>", the name proposed for the span.
    static QString ProposedName(const QString& movie, long long from, long long to);
    // The "..." button's chooser of the parent folder (tests give their own).
    void setFolderChooser(std::function<QString(QWidget*)> chooser) { chooser_ = std::move(chooser); }

    QSpinBox* fromBox() const { return from_; }
    QSpinBox* toBox() const { return to_; }
    QLineEdit* folderField() const { return folder_; }

private:
    void spanChanged();
    void chooseFolder();
    void confirm();
    QString timeText(long long frame) const;

    Setup setup_;
    QSpinBox* from_ = nullptr;
    QSpinBox* to_ = nullptr;
    QLabel* fromTime_ = nullptr;
    QLabel* toTime_ = nullptr;
    QLineEdit* folder_ = nullptr;
    CSkinButton* ok_ = nullptr;
    QString proposedName_;  // the name in the folder field while the user has not changed it
    std::function<QString(QWidget*)> chooser_;
};

}  // namespace ravir
