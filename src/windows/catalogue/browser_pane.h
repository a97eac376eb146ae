#pragma once
// A plain browser pane: the catalogue's folder tree (CFolderTreeCtrl, kept in step with the
// catalogue after every rescan) over a plain list of the selected item's recordings. The main
// window uses the skinned file browser (CFilerContainerDlg); this pane stays for tools and tests
// that want the catalogue without the skin.
#include "catalogue/recording_record.h"

#include <QWidget>

class QListWidget;

namespace ravir {

class Catalogue;
class CFolderTreeCtrl;

class BrowserPane : public QWidget {
    Q_OBJECT
public:
    BrowserPane(Catalogue& catalogue, QWidget* parent = nullptr);

    // Rebuilds both views from the catalogue (after a source was opened).
    void reload();
    // The record of the list's current row; nullptr when there is none.
    const RecordingRecord* currentRecord() const;
    int rowCount() const;
    void setCurrentRow(int row);

Q_SIGNALS:
    void recordingActivated(const ravir::RecordingRecord& record);

private:
    void fillList();

    Catalogue& catalogue_;
    CFolderTreeCtrl* tree_ = nullptr;
    QListWidget* list_ = nullptr;
    RecordList shown_;
};

}  // namespace ravir
