#include "catalogue/folder_tree.h"

namespace ravir {

int TreeItem::depth() const
{
    int d = 0;
    for (const TreeItem* p = parent_; p; p = p->parent_)
        ++d;
    return d;
}

TreeItem* FolderTree::insert(TreeItem* parent, const QString& text)
{
    auto item = std::make_unique<TreeItem>();
    item->text_ = text;
    item->parent_ = parent;
    TreeItem* raw = item.get();
    (parent ? parent->children_ : top_).push_back(std::move(item));
    ++count_;
    return raw;
}

int FolderTree::countBelow(const TreeItem* item) const
{
    int n = 0;
    for (const auto& child : item->children_)
        n += 1 + countBelow(child.get());
    return n;
}

bool FolderTree::holds(const TreeItem* ancestor, const TreeItem* item) const
{
    for (const TreeItem* p = item; p; p = p->parent_) {
        if (p == ancestor)
            return true;
    }
    return false;
}

void FolderTree::deleteChildren(TreeItem* item)
{
    if (!item)
        return;
    if (selected_ && selected_ != item && holds(item, selected_))
        selected_ = nullptr;
    count_ -= countBelow(item);
    item->children_.clear();
}

void FolderTree::deleteAll()
{
    top_.clear();
    count_ = 0;
    selected_ = nullptr;
}

void FolderTree::expandWithAncestors(TreeItem* item)
{
    for (TreeItem* p = item; p; p = p->parent_)
        p->expanded_ = true;
}

QStringList FolderTree::namesOf(const TreeItem* item)
{
    QStringList names;
    for (const TreeItem* p = item; p; p = p->parent_)
        names.prepend(p->text_);
    return names;
}

QString FolderTree::pathOf(const TreeItem* item) const
{
    QString path = rootPath_;
    for (const QString& name : namesOf(item)) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += name;
    }
    return path;
}

TreeItem* FolderTree::find(const QStringList& names) const
{
    const std::vector<std::unique_ptr<TreeItem>>* level = &top_;
    TreeItem* found = nullptr;
    for (const QString& name : names) {
        found = nullptr;
        for (const auto& item : *level) {
            if (item->text_ == name) {
                found = item.get();
                break;
            }
        }
        if (!found)
            return nullptr;
        level = &found->children_;
    }
    return found;
}

}  // namespace ravir
