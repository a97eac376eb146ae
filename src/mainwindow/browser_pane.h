#pragma once
// The browser pane of the main window in its first form: the catalogue's folder tree and the
// file list of the selected item, mirrored from the Catalogue without rescanning. The skinned
// file browser with kind buttons and thumbnails takes its place on the same Catalogue.
#include "catalogue/recording_record.h"

#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;
class QListWidget;

namespace ravir {

class Catalogue;
class TreeItem;

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
    void fillTree(QTreeWidgetItem* parentItem, const TreeItem* item);
    void fillList();
    void onTreeItemChanged(QTreeWidgetItem* current);

    Catalogue& catalogue_;
    QTreeWidget* tree_ = nullptr;
    QListWidget* list_ = nullptr;
    RecordList shown_;
    bool filling_ = false;
};

}  // namespace ravir
