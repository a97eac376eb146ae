#include "mainwindow/browser_pane.h"

#include "catalogue/catalogue.h"
#include "catalogue/recording_name.h"

#include <QHeaderView>
#include <QListWidget>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ravir {
namespace {
constexpr int kTreeItemRole = Qt::UserRole + 1;
const QColor kTriggerOrange(0xEF, 0x81, 0x0F);  // COLORREF 0x0F81EF
}  // namespace

BrowserPane::BrowserPane(Catalogue& catalogue, QWidget* parent)
    : QWidget(parent), catalogue_(catalogue)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    tree_ = new QTreeWidget(splitter);
    tree_->setHeaderHidden(true);
    tree_->setObjectName(QStringLiteral("folderTree"));
    list_ = new QListWidget(splitter);
    list_->setObjectName(QStringLiteral("fileList"));
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter);

    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onTreeItemChanged(current); });
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem*) {
        if (const RecordingRecord* r = currentRecord())
            Q_EMIT recordingActivated(*r);
    });
}

void BrowserPane::reload()
{
    filling_ = true;
    tree_->clear();
    for (const auto& top : catalogue_.tree().topLevel())
        fillTree(nullptr, top.get());
    // Select the item the catalogue selected.
    if (const TreeItem* selected = catalogue_.tree().selected()) {
        QTreeWidgetItemIterator it(tree_);
        for (; *it; ++it) {
            if ((*it)->data(0, kTreeItemRole).value<quintptr>()
                == reinterpret_cast<quintptr>(selected)) {
                tree_->setCurrentItem(*it);
                break;
            }
        }
    }
    filling_ = false;
    fillList();
}

void BrowserPane::fillTree(QTreeWidgetItem* parentItem, const TreeItem* item)
{
    auto* node = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tree_);
    node->setText(0, item->text());
    node->setData(0, kTreeItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
    for (const auto& child : item->children())
        fillTree(node, child.get());
    node->setExpanded(item->expanded());
}

void BrowserPane::onTreeItemChanged(QTreeWidgetItem* current)
{
    if (filling_ || !current)
        return;
    auto* item = reinterpret_cast<TreeItem*>(current->data(0, kTreeItemRole).value<quintptr>());
    if (catalogue_.SelectItem(item))
        fillList();
}

void BrowserPane::fillList()
{
    list_->clear();
    shown_ = catalogue_.shownRecords();
    for (const RecordingRecord& r : shown_) {
        auto* row = new QListWidgetItem(ListText(r.path), list_);
        if (r.trigger == 1)
            row->setForeground(kTriggerOrange);
        row->setToolTip(r.path);
    }
    if (!shown_.empty())
        list_->setCurrentRow(0);
}

const RecordingRecord* BrowserPane::currentRecord() const
{
    const int row = list_->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= shown_.size())
        return nullptr;
    return &shown_[static_cast<size_t>(row)];
}

int BrowserPane::rowCount() const { return static_cast<int>(shown_.size()); }

void BrowserPane::setCurrentRow(int row) { list_->setCurrentRow(row); }

}  // namespace ravir
