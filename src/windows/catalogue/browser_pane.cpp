#include "windows/catalogue/browser_pane.h"

#include "catalogue/catalogue.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "catalogue/recording_name.h"

#include <QHeaderView>
#include <QListWidget>
#include <QSplitter>
#include <QVBoxLayout>

namespace ravir {
namespace {
const QColor kTriggerOrange(0xEF, 0x81, 0x0F);
}  // namespace

BrowserPane::BrowserPane(Catalogue& catalogue, QWidget* parent)
    : QWidget(parent), catalogue_(catalogue)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    tree_ = new CFolderTreeCtrl(catalogue_, splitter);
    list_ = new QListWidget(splitter);
    list_->setObjectName(QStringLiteral("fileList"));
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter);

    connect(tree_, &CFolderTreeCtrl::itemScanned, this, [this](int) { fillList(); });
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem*) {
        if (const RecordingRecord* r = currentRecord())
            Q_EMIT recordingActivated(*r);
    });
}

void BrowserPane::reload()
{
    tree_->rebuild();
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
