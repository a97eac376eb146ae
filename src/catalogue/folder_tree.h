#pragma once
// The folder tree of the catalogue as data: the items that the file browser's tree shows
// (folders, and recording groups as leaves), their kind masks, expanded states and the selected
// item. The scan inserts into it; a widget mirrors it without rescanning.
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace ravir {

class TreeItem {
public:
    const QString& text() const { return text_; }
    // KindMask of the recordings below a folder or group item; 0 when not computed.
    int kindMask() const { return kindMask_; }
    bool expanded() const { return expanded_; }
    TreeItem* parent() const { return parent_; }  // nullptr for a top-level item
    const std::vector<std::unique_ptr<TreeItem>>& children() const { return children_; }
    TreeItem* firstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
    // Number of ancestors (0 for a top-level item).
    int depth() const;

private:
    friend class FolderTree;
    QString text_;
    int kindMask_ = 0;
    bool expanded_ = false;
    TreeItem* parent_ = nullptr;
    std::vector<std::unique_ptr<TreeItem>> children_;
};

class FolderTree {
public:
    // Prefix of every item's path.
    const QString& rootPath() const { return rootPath_; }
    void setRootPath(const QString& path) { rootPath_ = path; }

    const std::vector<std::unique_ptr<TreeItem>>& topLevel() const { return top_; }
    TreeItem* firstTopLevel() const { return top_.empty() ? nullptr : top_.front().get(); }
    int count() const { return count_; }

    // Inserts an item as the last child of parent (nullptr: top level).
    TreeItem* insert(TreeItem* parent, const QString& text);
    void deleteChildren(TreeItem* item);
    void deleteAll();
    void setKindMask(TreeItem* item, int mask) { item->kindMask_ = mask; }
    void expandWithAncestors(TreeItem* item);

    TreeItem* selected() const { return selected_; }
    void setSelected(TreeItem* item) { selected_ = item; }

    // The texts of the item's ancestors and the item, outermost first.
    static QStringList namesOf(const TreeItem* item);
    // rootPath + "/" + the names joined by "/".
    QString pathOf(const TreeItem* item) const;
    // The item reached by following the names from the top level; nullptr if there is none.
    TreeItem* find(const QStringList& names) const;

    // Set while the catalogue is cleared; selection changes are then ignored.
    bool clearing() const { return clearing_; }
    void setClearing(bool on) { clearing_ = on; }

private:
    int countBelow(const TreeItem* item) const;
    bool holds(const TreeItem* ancestor, const TreeItem* item) const;

    QString rootPath_;
    std::vector<std::unique_ptr<TreeItem>> top_;
    int count_ = 0;
    TreeItem* selected_ = nullptr;
    bool clearing_ = false;
};

}  // namespace ravir
