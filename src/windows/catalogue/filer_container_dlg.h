#pragma once
// CFilerContainerDlg: the file browser panel of the main window. It shows the catalogue: the
// folder tree (CFolderTreeCtrl), the file list (CFileListCtrl), the five kind buttons with their
// legend, the count of listed recordings ("%d個") and the path field (read-only, hidden by every
// relayout). Layout 0 puts the tree beside the list, layout 1 above it.
//
// Choosing a folder in the tree rescans it (the catalogue does), refills the list and selects
// row 0, which opens it; choosing a row emits recordingChosen(). A kind button sets its flag in
// the catalogue's filter, refills the list and selects row 0 (not reopened when it is the
// recording already open).
#include "catalogue/recording_record.h"

#include <QWidget>
#include <array>
#include <vector>
#include <memory>

class QLineEdit;

namespace ravir {

class Catalogue;
class CFileListCtrl;
class CFolderTreeCtrl;
class CMFSession;
class CSkinCheckButton;

class CFilerContainerDlg : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kBackground{0x31, 0x31, 0x31};
    static inline const QColor kFrame{0xAA, 0xAA, 0xAA};
    static constexpr int kKindCount = 5;

    explicit CFilerContainerDlg(Catalogue& catalogue, QWidget* parent = nullptr);
    ~CFilerContainerDlg() override;

    // Rebuilds the tree and the list from the catalogue (after a source was opened or
    // reopened). Nothing is selected in the list and nothing is emitted.
    void reload();
    // Empties the tree, the list and the path field (the catalogue is cleared by its owner).
    void clearViews();
    // Refills the list from the catalogue's current records and the kind filter.
    void refillList();

    // The record of the list's selected row, else of row 0; nullptr when the list is empty.
    const RecordingRecord* currentRecord() const;
    int rowCount() const;
    // Selects a row as the main window does: it becomes the playing row (and is chosen unless
    // its recording is open).
    void setCurrentRow(int row);

    // 0: tree beside the list; 1: tree above the list.
    void setLayoutMode(int layout);
    int layoutMode() const { return layout_; }
    // Sets one kind flag (0 continuous, 1 impact, 2 manual, 3 parking, 4 parking impact) as the
    // kind button does.
    void setKindFlag(int index, bool on);
    // Enables or disables the tree, the list and the kind buttons together.
    void setBrowserEnabled(bool on);
    // Takes the shared fonts again (after they were rebuilt for another scale): the tree and
    // the list in the 13-point font, the kind buttons in the 10-point one; lays out anew.
    void applyFonts();
    // The thumbnail switch: a first-frame picture on every row of the list, and the hover
    // preview of the rows, played silently in a popup by the browser's own preview player
    // (made when first needed).
    void setThumbnailMode(bool on);
    bool thumbnailMode() const;
    CMFSession* previewSession() const { return preview_.get(); }
    // "%d個" of the list's rows.
    QString countText() const;

    CFolderTreeCtrl* treeCtrl() const { return tree_; }
    CFileListCtrl* listCtrl() const { return list_; }
    QLineEdit* pathField() const { return path_; }
    CSkinCheckButton* kindButton(int index) const { return kinds_[static_cast<size_t>(index)]; }
    Catalogue& catalogue() const { return catalogue_; }

    // The folder tree in its display order: the folder after the chosen one, and the chosen
    // folder's place (-1 without one) to come back to later.
    bool selectNextFolder();
    bool hasNextFolder() const;
    int folderPosition() const;
    void selectFolderAt(int position);

Q_SIGNALS:
    void recordingChosen(const ravir::RecordingRecord& record);
    // A folder was chosen and scanned; the list holds its recordings.
    void folderScanned(int recordCount);
    // A kind button changed the list; listEmpty when no row is left.
    void kindFilterChanged(bool listEmpty);
    // The list holds other rows now (a folder, a kind button, a source opened or cleared).
    void listRefilled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    // Places kind buttons (indexes) side by side at y with their fixed steps in units.
    void placeKindRow(const std::vector<int>& buttons, const std::vector<int>& steps, int y, int w);
    void startPreview(const RecordingRecord& record, const QRect& geometry);
    void stopPreview();

    Catalogue& catalogue_;
    CFolderTreeCtrl* tree_ = nullptr;
    CFileListCtrl* list_ = nullptr;
    QLineEdit* path_ = nullptr;
    std::array<CSkinCheckButton*, kKindCount> kinds_{};
    int layout_ = 0;
    std::unique_ptr<CMFSession> preview_;
};

}  // namespace ravir
