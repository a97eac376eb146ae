#pragma once
// CSourceOpenDlg: choosing the source to read. Three rows, each with a round choice button: the
// SD card (a list of the removable drives, the newest preselected), a folder (a field and a
// "..." folder chooser) and a movie file (a field and a "..." file chooser). OK is enabled only
// when the chosen row has a value. OK writes SOURCE/SELECT and the chosen row's key (SD, FOLDER
// or FILE); the other keys keep their values.
//
// The choosers can be replaced (tests, or a caller with its own picker).
#include "catalogue/recording_record.h"
#include "catalogue/source_select.h"
#include "windows/kit/skin_dialog.h"

#include <QString>
#include <array>
#include <functional>

class QComboBox;
class QLineEdit;

namespace ravir {

class Catalogue;
class CSkinButton;
class CSkinCheckButton;

class CSourceOpenDlg : public CSkinDialog {
    Q_OBJECT
public:
    using Chooser = std::function<QString(QWidget* owner)>;

    explicit CSourceOpenDlg(const RemovableDrives& drives, QWidget* parent = nullptr);
    explicit CSourceOpenDlg(QWidget* parent = nullptr);

    // 1 card, 2 folder, 3 file.
    int mode() const { return mode_; }
    void selectMode(int mode);
    // The chosen source: the drive root, the folder or the file of the chosen mode.
    QString chosenPath() const;
    SourceMode chosenSourceMode() const { return static_cast<SourceMode>(mode_); }

    // The folder "..." (default: the remembered-folder chooser of SOURCE/FOLDER) and the file
    // "..." (default: an open-file dialog for movies).
    void setFolderChooser(Chooser chooser) { folderChooser_ = std::move(chooser); }
    void setFileChooser(Chooser chooser) { fileChooser_ = std::move(chooser); }
    void chooseFolder();
    void chooseFile();
    // Writes the keys and closes with OK (does nothing while OK is disabled).
    void confirm();

    QComboBox* driveList() const { return drives_; }
    QLineEdit* folderField() const { return folder_; }
    QLineEdit* fileField() const { return file_; }
    CSkinButton* okButton() const { return ok_; }
    CSkinCheckButton* modeButton(int mode) const { return radios_[static_cast<size_t>(mode - 1)]; }

private:
    void build(const RemovableDrives& drives);
    void updateOk();

    int mode_ = 1;
    std::array<CSkinCheckButton*, 3> radios_{};
    QComboBox* drives_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* file_ = nullptr;
    CSkinButton* ok_ = nullptr;
    Chooser folderChooser_;
    Chooser fileChooser_;
};

// Opens what the dialog chose as the main window does after OK: nothing for an empty or missing
// path; a file that is not a recording name gets TXT_MSG_OPEN_FAILED (caption "ERROR"). Then
// OpenSource and SelectDefaultItem. True when the source was opened.
bool OpenChosenSource(Catalogue& catalogue, SourceMode mode, const QString& path,
                      QWidget* messageParent);

// The mode a path dropped on the window or given on the command line opens in: a file is a
// single-file source, a folder holding the card layout a drive source, another folder a folder
// source; None for a path that does not exist.
SourceMode SourceModeOfPath(const QString& path);

}  // namespace ravir
