#include "windows/catalogue/filer_container_dlg.h"

#include "catalogue/catalogue.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "windows/kit/skin_button.h"
#include "playback/preview_session.h"
#include "playback/video_presenter.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QLineEdit>
#include <QPainter>
#include <QTreeWidgetItemIterator>

namespace ravir {
namespace {
constexpr int kTopStrip = 20;     // units: the count box and the hidden path field
constexpr int kCountWidth = 60;   // units
constexpr int kKindRow = 20;      // units per row of kind buttons
constexpr int kTreeWidth = 220;   // units, layout 0
constexpr int kTreeMinWidth = 120;  // units, layout 0: the least the tree gives up to the list
constexpr int kTreeHeight = 284;  // units, layout 1
constexpr TextId kKindLabels[CFilerContainerDlg::kKindCount] = {
    TXT_KIND_CONTINUOUS, TXT_IMPACT_2, TXT_MANUAL_2, TXT_PARKING, TXT_PARKING_IMPACT};
}  // namespace

void CFilerContainerDlg::applyFonts()
{
    setFont(SharedFont(kFont10));
    tree_->setFont(SharedFont(kFont13));
    list_->setFont(SharedFont(kFont13));
    for (CSkinCheckButton* b : kinds_) {
        if (b)
            b->setFont(SharedFont(kFont10));
    }
    relayout();
}

CFilerContainerDlg::CFilerContainerDlg(Catalogue& catalogue, QWidget* parent)
    : QWidget(parent), catalogue_(catalogue)
{
    setObjectName(QStringLiteral("fileBrowser"));
    tree_ = new CFolderTreeCtrl(catalogue_, this);
    list_ = new CFileListCtrl(this);
    // Screen readers read the tree's and the list's rows (Qt's item views); the views are named.
    tree_->setAccessibleName(text(TXT_FOLDER));
    list_->setAccessibleName(text(TXT_FILE));
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("pathField"));
    path_->setReadOnly(true);
    path_->hide();
    for (int i = 0; i < kKindCount; ++i) {
        auto* b = new CSkinCheckButton(text(kKindLabels[i]), this);
        b->setObjectName(QStringLiteral("kind%1").arg(i));
        b->setCheckable(true);
        b->setChecked(catalogue_.kindFilter().flags[static_cast<size_t>(i)]);
        connect(b, &QAbstractButton::clicked, this,
                [this, i](bool checked) { setKindFlag(i, checked); });
        kinds_[static_cast<size_t>(i)] = b;
    }
    applyFonts();
    connect(tree_, &CFolderTreeCtrl::itemScanned, this, [this](int count) {
        path_->setText(catalogue_.pathField());
        refillList();
        Q_EMIT folderScanned(count);
        if (list_->rowCount() > 0)
            list_->selectRow(0);
    });
    connect(list_, &CFileListCtrl::rowChosen, this,
            [this](int, const RecordingRecord& r) { Q_EMIT recordingChosen(r); });
    connect(list_, &CFileListCtrl::previewRequested, this,
            [this](int, const RecordingRecord& r, const QRect& g) { startPreview(r, g); });
    connect(list_, &CFileListCtrl::previewStopped, this, &CFilerContainerDlg::stopPreview);
    relayout();
}

CFilerContainerDlg::~CFilerContainerDlg()
{
    // The session closes the movie and destroys its popup.
    if (preview_)
        preview_->Stop();
}

void CFilerContainerDlg::setThumbnailMode(bool on)
{
    list_->setPreviewEnabled(on);
    list_->setThumbnailsShown(on);
    relayout();  // the pictures take room in the list's first column
}

bool CFilerContainerDlg::thumbnailMode() const { return list_->previewEnabled(); }

void CFilerContainerDlg::startPreview(const RecordingRecord& record, const QRect& geometry)
{
    if (!preview_)
        preview_ = std::make_unique<PreviewSession>(LayoutScale());
    preview_->Stop();
    preview_->Close();
    if (!preview_->Open(record.path)) {
        preview_->window()->hide();
        return;
    }
    preview_->window()->setGeometry(geometry);
    preview_->window()->show();
    preview_->window()->raise();
    preview_->Play(true);
}

void CFilerContainerDlg::stopPreview()
{
    if (!preview_)
        return;
    preview_->Stop();
    preview_->Close();
    preview_->window()->hide();
}

void CFilerContainerDlg::reload()
{
    tree_->rebuild();
    path_->setText(catalogue_.pathField());
    list_->clearOpenRecording();
    refillList();
}

bool CFilerContainerDlg::selectNextFolder() { return tree_->selectNextItem(); }

bool CFilerContainerDlg::hasNextFolder() const
{
    QTreeWidgetItem* current = tree_->currentItem();
    if (!current)
        return false;
    QTreeWidgetItemIterator it(current);
    ++it;
    return *it != nullptr;
}

int CFilerContainerDlg::folderPosition() const
{
    if (!tree_->currentItem())
        return -1;
    int position = 0;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it, ++position) {
        if (*it == tree_->currentItem())
            return position;
    }
    return -1;
}

void CFilerContainerDlg::selectFolderAt(int position)
{
    if (position < 0)
        return;
    int at = 0;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it, ++at) {
        if (at == position) {
            tree_->setCurrentItem(*it);
            return;
        }
    }
}

void CFilerContainerDlg::clearViews()
{
    tree_->clear();
    list_->clearOpenRecording();
    list_->setRecords({}, catalogue_.kindFilter());
    path_->clear();
    update();
    Q_EMIT listRefilled();
}

void CFilerContainerDlg::refillList()
{
    list_->setRecords(catalogue_.currentRecords(), catalogue_.kindFilter());
    relayout();  // longer names may need more of the width
    update();
    Q_EMIT listRefilled();
}

const RecordingRecord* CFilerContainerDlg::currentRecord() const
{
    const int row = list_->selectedRow();
    return list_->recordAt(row >= 0 ? row : 0);
}

int CFilerContainerDlg::rowCount() const { return list_->rowCount(); }

void CFilerContainerDlg::setCurrentRow(int row) { list_->selectRow(row); }

void CFilerContainerDlg::setLayoutMode(int layout)
{
    layout_ = layout == 1 ? 1 : 0;
    relayout();
}

void CFilerContainerDlg::setKindFlag(int index, bool on)
{
    if (index < 0 || index >= kKindCount)
        return;
    catalogue_.setKindFlag(index, on);
    kinds_[static_cast<size_t>(index)]->setChecked(on);
    refillList();
    if (list_->rowCount() > 0)
        list_->selectRow(0);
    Q_EMIT kindFilterChanged(list_->rowCount() == 0);
}

void CFilerContainerDlg::setBrowserEnabled(bool on)
{
    tree_->setEnabled(on);
    list_->setEnabled(on);
    for (CSkinCheckButton* b : kinds_)
        b->setEnabled(on);
}

QString CFilerContainerDlg::countText() const
{
    return QString(text(TXT_COUNT_FMT)).replace(QLatin1String("%d"), QString::number(list_->rowCount()));
}

void CFilerContainerDlg::relayout()
{
    path_->hide();
    const int w = width();
    const int h = height();
    const int m = Scaled(4);
    const int top = Scaled(kTopStrip);
    const int kindRows = layout_ == 0 ? 1 : 2;
    const int kindsHeight = Scaled(kKindRow) * kindRows;
    const int bottom = h - m - kindsHeight;
    path_->setGeometry(m, m / 2, std::max(0, w - Scaled(kCountWidth) - 3 * m), top - m);
    if (layout_ == 0) {
        // The tree yields width (down to 120 units) where the list would cut its names.
        int treeW = std::min(Scaled(kTreeWidth), std::max(0, w / 2));
        const int listRoom = w - treeW - 3 * m;
        if (listRoom < list_->widthNeeded())
            treeW = std::max(std::min(treeW, Scaled(kTreeMinWidth)), treeW - (list_->widthNeeded() - listRoom));
        tree_->setGeometry(m, top, treeW, std::max(0, bottom - top));
        list_->setGeometry(m + treeW + m, top, std::max(0, w - treeW - 3 * m),
                           std::max(0, bottom - top));
    } else {
        const int treeH = std::min(Scaled(kTreeHeight), std::max(0, (bottom - top) / 2));
        tree_->setGeometry(m, top, std::max(0, w - 2 * m), treeH);
        list_->setGeometry(m, top + treeH + m, std::max(0, w - 2 * m),
                           std::max(0, bottom - top - treeH - m));
    }
    // Kind buttons with their labels: layout 0 one row (55 units apart, 92 after the third);
    // layout 1 three and two (82 after the first, third and fourth, 70 otherwise).
    int x = m;
    int y = bottom + Scaled(2);
    for (int i = 0; i < kKindCount; ++i) {
        CSkinCheckButton* b = kinds_[static_cast<size_t>(i)];
        int step = 0;
        if (layout_ == 0) {
            step = (i == 2) ? 92 : 55;
        } else {
            step = (i == 0 || i == 2 || i == 3) ? 82 : 70;
            if (i == 3) {
                x = m;
                y += Scaled(kKindRow);
            }
        }
        // The last button of a row takes the rest of the row for its label.
        const bool lastOfRow = i == kKindCount - 1 || (layout_ == 1 && i == 2);
        const int bw = lastOfRow ? std::max(Scaled(step), w - x - m) : Scaled(step) - Scaled(2);
        b->setGeometry(x, y, bw, Scaled(kKindRow) - Scaled(2));
        x += Scaled(step);
    }
}

void CFilerContainerDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void CFilerContainerDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.setPen(kFrame);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setFont(SharedFont(kFont10));
    p.setPen(Qt::white);
    const QRect countBox(width() - Scaled(kCountWidth) - Scaled(6), 0, Scaled(kCountWidth),
                         Scaled(kTopStrip));
    p.drawText(countBox, Qt::AlignRight | Qt::AlignVCenter, countText());
}

}  // namespace ravir
