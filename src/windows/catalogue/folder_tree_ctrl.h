#pragma once
// CFolderTreeCtrl: the folder tree of the file browser, kept in step with the catalogue's tree.
//
// The widget never holds a pointer into the catalogue's tree: each item carries the names from
// the top level down to it, and the catalogue's item is looked up by those names whenever it is
// needed. Selecting an item makes the catalogue select (and so rescan) it; the rescan rebuilds
// that item's children in the catalogue, and the widget then rebuilds the same children from
// it, so that what the user sees and clicks next always exists.
//
// Drawing: white background, black text; the selected item on 0x00CCFF with white text; group
// and folder items below the top level carry the kind mark (the orange grid with a coloured tile
// per kind the item holds).
#include <QPixmap>
#include <QStringList>
#include <QTreeWidget>

namespace ravir {

class Catalogue;
class TreeItem;

class CFolderTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static inline const QColor kSelectedBackground{0x00, 0xCC, 0xFF};
    static constexpr int kNamesRole = Qt::UserRole + 1;                // QStringList
    static constexpr int kKindMaskRole = Qt::UserRole + 2;             // int

    explicit CFolderTreeCtrl(Catalogue& catalogue, QWidget* parent = nullptr);

    // Rebuilds every item from the catalogue and selects the catalogue's selected item, without
    // asking the catalogue for anything.
    void rebuild();
    // The catalogue's item of a widget item (nullptr when the catalogue no longer has it).
    TreeItem* catalogueItem(const QTreeWidgetItem* item) const;
    // The widget item showing the catalogue item named by names (nullptr for none).
    QTreeWidgetItem* itemByNames(const QStringList& names) const;
    // Selects the item after the selected one in the order shown (the next folder); false at
    // the end.
    bool selectNextItem();

    // The kind mark for a mask at a pixel size (base grid plus the tiles of the mask's kinds).
    static QPixmap kindMark(int mask, QSize size);

Q_SIGNALS:
    // The catalogue scanned the newly selected item; its records are the current records.
    void itemScanned(int recordCount);

private:
    void addItem(QTreeWidgetItem* parentItem, const TreeItem* item, const QStringList& names);
    void syncChildren(QTreeWidgetItem* widgetItem, const TreeItem* item);
    void syncExpansion();
    void onCurrentItemChanged(QTreeWidgetItem* current);

    Catalogue& catalogue_;
    bool filling_ = false;
};

}  // namespace ravir
