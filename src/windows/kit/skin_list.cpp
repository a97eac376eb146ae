#include "windows/kit/skin_list.h"

#include "windows/kit/skin_artwork.h"
#include "windows/kit/app_scale.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace ravir {
namespace {
constexpr int kStateRole = Qt::UserRole + 41;

// A row whose first cell reports its tick as a check state (read by screen readers; the list
// draws the tick box itself). A check state written from outside (the item delegate's click on
// a style's check indicator) is ignored: the state image is the one truth.
class SkinListItem : public QTreeWidgetItem {
public:
    SkinListItem(QTreeWidget* list, const QStringList& columns) : QTreeWidgetItem(list, columns)
    {
        setFlags(flags() | Qt::ItemIsUserCheckable);
    }
    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::CheckStateRole)
            return QTreeWidgetItem::data(0, kStateRole).toInt() == CSkinListCtrl::kChecked
                       ? Qt::Checked
                       : Qt::Unchecked;
        return QTreeWidgetItem::data(column, role);
    }
    void setData(int column, int role, const QVariant& value) override
    {
        if (role == Qt::CheckStateRole)
            return;
        QTreeWidgetItem::setData(column, role, value);
    }
};

// Draws the tick box of column 0 from the skin, then the text.
class StateDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        p->fillRect(option.rect, Qt::white);
        p->setPen(QColor(0x88, 0x88, 0x88));
        p->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        QRect textRect = option.rect.adjusted(skin::unit(4), 0, 0, 0);
        if (index.column() == 0) {
            const int state = index.data(kStateRole).toInt();
            const int box = skin::unit(12);
            if (state >= CSkinListCtrl::kUnchecked && state <= CSkinListCtrl::kChecked) {
                const QPixmap image = skin::stripImage(QStringLiteral("check_box"), 4, state - 1, QSize(box, box));
                p->drawPixmap(option.rect.left() + skin::unit(4),
                              option.rect.top() + (option.rect.height() - box) / 2, image);
            }
            textRect.setLeft(option.rect.left() + skin::unit(4) + box + skin::unit(4));
        }
        p->setPen(Qt::black);
        p->setFont(option.font);
        const QString t = option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight,
                                                        textRect.width());
        p->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, t);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(std::max(s.height(), skin::unit(20)));
        return s;
    }
};
}  // namespace

CSkinListCtrl::CSkinListCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setMouseTracking(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setItemDelegate(new StateDelegate(this));
    setFont(SharedFont(kFont10));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
}

QTreeWidgetItem* CSkinListCtrl::addRow(const QStringList& columns, int state)
{
    auto* item = new SkinListItem(this, columns);
    item->setData(0, kStateRole, state);
    return item;
}

int CSkinListCtrl::stateImage(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, kStateRole).toInt() : kNoState;
}

void CSkinListCtrl::setStateImage(int row, int state)
{
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item || stateImage(row) == state)
        return;
    const bool wasChecked = stateImage(row) == kChecked;
    item->setData(0, kStateRole, state);
    if (wasChecked != (state == kChecked))
        announceChecked(row);
    Q_EMIT stateImageChanged(row, state);
}

void CSkinListCtrl::setRowAccessibleText(int row, const QString& text)
{
    if (QTreeWidgetItem* item = topLevelItem(row))
        item->setData(0, Qt::AccessibleTextRole, text);
}

void CSkinListCtrl::announceChecked(int row)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* table = list ? list->tableInterface() : nullptr;
    QAccessibleInterface* cell = table ? table->cellAt(row, 0) : nullptr;
    if (!cell)
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(cell, changed);
    QAccessible::updateAccessibility(&event);
}

QRect CSkinListCtrl::boxRect(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    if (!item)
        return {};
    const QRect r = visualItemRect(item);
    const int box = skin::unit(12);
    return {r.left() + skin::unit(4), r.top() + (r.height() - box) / 2, box, box};
}

void CSkinListCtrl::setHotRow(int row)
{
    if (row == hotRow_)
        return;
    if (hotRow_ >= 0 && stateImage(hotRow_) == kHot)
        setStateImage(hotRow_, kUnchecked);
    hotRow_ = row;
    if (row >= 0 && stateImage(row) == kUnchecked)
        setStateImage(row, kHot);
}

void CSkinListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    setHotRow(index.isValid() ? index.row() : -1);
    QTreeWidget::mouseMoveEvent(event);
}

void CSkinListCtrl::leaveEvent(QEvent* event)
{
    setHotRow(-1);
    QTreeWidget::leaveEvent(event);
}

void CSkinListCtrl::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        const int row = index.row();
        const int s = stateImage(row);
        setStateImage(row, (s == kUnchecked || s == kHot) ? kChecked : kUnchecked);
    }
    QTreeWidget::mousePressEvent(event);
}

void CSkinListCtrl::keyPressEvent(QKeyEvent* event)
{
    // Space ticks or unticks the current row, as a click on it does.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        const QModelIndex index = currentIndex();
        if (index.isValid()) {
            const int row = index.row();
            const int s = stateImage(row);
            setStateImage(row, (s == kUnchecked || s == kHot) ? kChecked : kUnchecked);
        }
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace ravir
