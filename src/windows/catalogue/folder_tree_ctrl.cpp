#include "windows/catalogue/folder_tree_ctrl.h"

#include "catalogue/catalogue.h"
#include "windows/kit/skin_artwork.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace ravir {
namespace {

// Draws an item: its text on white (the selected item on the selection colour, white text) and,
// below the top level, the kind mark of its mask after the text.
class FolderItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->fillRect(option.rect, selected ? CFolderTreeCtrl::kSelectedBackground
                                                : QColor(Qt::white));
        const int mask = index.data(CFolderTreeCtrl::kKindMaskRole).toInt();
        const bool topLevel = !index.parent().isValid();
        QRect textRect = option.rect.adjusted(2, 0, -2, 0);
        painter->setFont(option.font);
        painter->setPen(selected ? QColor(Qt::white) : QColor(Qt::black));
        const QString label = index.data(Qt::DisplayRole).toString();
        const QString shown = option.fontMetrics.elidedText(label, Qt::ElideRight,
                                                            textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        if (mask != 0 && !topLevel) {
            const int h = option.rect.height() - 2;
            const QSize markSize(h * 39 / 26, h);
            const int x = textRect.left() + option.fontMetrics.horizontalAdvance(shown) + 6;
            if (x + markSize.width() <= option.rect.right())
                painter->drawPixmap(x, option.rect.top() + 1,
                                    CFolderTreeCtrl::kindMark(mask, markSize));
        }
        if (selected && (option.state & QStyle::State_HasFocus)) {
            painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }
};

}  // namespace

CFolderTreeCtrl::CFolderTreeCtrl(Catalogue& catalogue, QWidget* parent)
    : QTreeWidget(parent), catalogue_(catalogue)
{
    setObjectName(QStringLiteral("folderTree"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(true);
    setUniformRowHeights(true);
    setItemDelegate(new FolderItemDelegate(this));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::Highlight, kSelectedBackground);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onCurrentItemChanged(current); });
}

QPixmap CFolderTreeCtrl::kindMark(int mask, QSize size)
{
    QPixmap out(size);
    out.fill(Qt::transparent);
    // The grid is square; it sits at the left of the mark's box.
    const int side = std::min(size.width(), size.height());
    const QSize square(side, side);
    QPainter p(&out);
    p.drawPixmap(0, (size.height() - side) / 2, skin::render(QStringLiteral("kind_grid"), square));
    const std::pair<int, const char*> overlays[] = {
        {kKindMaskManual, "kind_manual"},
        {kKindMaskImpact, "kind_impact"},
        {kKindMaskParkingImpact, "kind_parking_impact"},
        {kKindMaskParking, "kind_parking"},
    };
    for (const auto& [bit, name] : overlays)
        if (mask & bit)
            p.drawPixmap(0, (size.height() - side) / 2,
                         skin::render(QString::fromLatin1(name), square));
    return out;
}

void CFolderTreeCtrl::addItem(QTreeWidgetItem* parentItem, const TreeItem* item,
                              const QStringList& names)
{
    auto* node = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
    QStringList mine = names;
    mine << item->text();
    node->setText(0, item->text());
    node->setData(0, kNamesRole, mine);
    node->setData(0, kKindMaskRole, item->kindMask());
    for (const auto& child : item->children())
        addItem(node, child.get(), mine);
    node->setExpanded(item->expanded());
}

void CFolderTreeCtrl::rebuild()
{
    const bool wasFilling = filling_;
    filling_ = true;
    clear();
    for (const auto& top : catalogue_.tree().topLevel())
        addItem(nullptr, top.get(), {});
    if (const TreeItem* selected = catalogue_.tree().selected()) {
        if (QTreeWidgetItem* w = itemByNames(FolderTree::namesOf(selected))) {
            setCurrentItem(w);
            scrollToItem(w);
        }
    }
    filling_ = wasFilling;
}

TreeItem* CFolderTreeCtrl::catalogueItem(const QTreeWidgetItem* item) const
{
    if (!item)
        return nullptr;
    return catalogue_.tree().find(item->data(0, kNamesRole).toStringList());
}

QTreeWidgetItem* CFolderTreeCtrl::itemByNames(const QStringList& names) const
{
    if (names.isEmpty())
        return nullptr;
    QTreeWidgetItem* at = nullptr;
    for (const QString& name : names) {
        const int n = at ? at->childCount() : topLevelItemCount();
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; i < n && !found; ++i) {
            QTreeWidgetItem* c = at ? at->child(i) : topLevelItem(i);
            if (c->text(0) == name)
                found = c;
        }
        if (!found)
            return nullptr;
        at = found;
    }
    return at;
}

void CFolderTreeCtrl::syncChildren(QTreeWidgetItem* widgetItem, const TreeItem* item)
{
    // The catalogue rebuilt the item's children: drop the widget's and mirror the new ones.
    const QList<QTreeWidgetItem*> old = widgetItem->takeChildren();
    qDeleteAll(old);
    const QStringList names = widgetItem->data(0, kNamesRole).toStringList();
    for (const auto& child : item->children())
        addItem(widgetItem, child.get(), names);
    widgetItem->setData(0, kKindMaskRole, item->kindMask());
}

void CFolderTreeCtrl::syncExpansion()
{
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        if (const TreeItem* t = catalogueItem(*it))
            if (t->expanded() && !(*it)->isExpanded())
                (*it)->setExpanded(true);
}

void CFolderTreeCtrl::onCurrentItemChanged(QTreeWidgetItem* current)
{
    if (filling_ || !current)
        return;
    TreeItem* item = catalogueItem(current);
    if (!item) {
        // The catalogue no longer has it: show what the catalogue has.
        rebuild();
        return;
    }
    if (!catalogue_.SelectItem(item))
        return;
    filling_ = true;
    syncChildren(current, item);
    syncExpansion();
    filling_ = false;
    Q_EMIT itemScanned(static_cast<int>(catalogue_.currentRecords().size()));
}

bool CFolderTreeCtrl::selectNextItem()
{
    QTreeWidgetItem* cur = currentItem();
    if (!cur)
        return false;
    QTreeWidgetItemIterator it(cur);
    ++it;
    if (!*it)
        return false;
    setCurrentItem(*it);
    return true;
}

}  // namespace ravir
