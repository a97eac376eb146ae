#include "windows/catalogue/filer_container_dlg.h"

#include "catalogue/catalogue.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "windows/kit/skin_button.h"
#include "playback/preview_session.h"
#include "playback/video_presenter.h"
#include "windows/kit/app_scale.h"
#include "windows/kit/skin_artwork.h"
#include "shell/ui_text.h"

#include <QFontMetrics>
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
        preview_ = std::make_unique<CMFSession>(LayoutScale());
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
    const int rows = list_->rowCount();
    return QString(text(rows == 1 ? TXT_COUNT_ONE_FMT : TXT_COUNT_FMT))
        .replace(QLatin1String("%d"), QString::number(rows));
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
    int y = bottom + Scaled(2);
    if (layout_ == 0) {
        placeKindRow({0, 1, 2, 3, 4}, {55, 55, 92, 55, 55}, y, w);
    } else {
        placeKindRow({0, 1, 2}, {82, 70, 82}, y, w);
        placeKindRow({3, 4}, {82, 70}, y + Scaled(kKindRow), w);
    }
}

void CFilerContainerDlg::placeKindRow(const std::vector<int>& buttons, const std::vector<int>& steps,
                                      int y, int w)
{
    const int m = Scaled(4);
    const int gap = Scaled(2);
    const int h = Scaled(kKindRow) - gap;
    const int n = static_cast<int>(buttons.size());
    CSkinCheckButton* const* kinds = kinds_.data();
    const auto button = [&](int k) { return kinds[buttons[static_cast<size_t>(k)]]; };
    const auto step = [&](int k) { return Scaled(steps[static_cast<size_t>(k)]); };
    const int textMargin = skin::unit(16);
    // The fixed widths: each button its step less the gap, the last one the rest of the row.
    std::vector<int> widths(static_cast<size_t>(n));
    int x = m;
    bool fits = true;
    for (int k = 0; k < n; ++k) {
        const int bw = k == n - 1 ? std::max(step(k), w - x - m) : step(k) - gap;
        widths[static_cast<size_t>(k)] = bw;
        const QFontMetrics fm(SharedFont(kFont10));
        if (fm.horizontalAdvance(button(k)->text()) > bw - textMargin)
            fits = false;
        x += step(k);
    }
    if (!fits) {
        // Labels longer than the fixed widths (English): each button widened to what its label
        // needs (font metrics and the box's room), the last one taking what is left of the
        // row. Where that is too wide, the buttons give up the fixed widths' spare room first;
        // where even the labels' widths do not fit, all shrink in proportion and the labels
        // are cut with "…" (the whole label is then the tooltip).
        const int room = std::max(0, w - 2 * m - (n - 1) * gap);
        std::vector<int> wide(static_cast<size_t>(n));
        std::vector<int> tight(static_cast<size_t>(n));
        long long wideTotal = 0;
        long long tightTotal = 0;
        for (int k = 0; k < n; ++k) {
            const int fixed = k == n - 1 ? step(k) : step(k) - gap;
            tight[static_cast<size_t>(k)] = button(k)->sizeHint().width();
            wide[static_cast<size_t>(k)] = std::max(fixed, tight[static_cast<size_t>(k)]);
            wideTotal += wide[static_cast<size_t>(k)];
            tightTotal += tight[static_cast<size_t>(k)];
        }
        const std::vector<int>& needed = wideTotal <= room ? wide : tight;
        const long long total = wideTotal <= room ? wideTotal : tightTotal;
        int used = 0;
        for (int k = 0; k < n - 1; ++k) {
            const int nw = total <= room
                ? needed[static_cast<size_t>(k)]
                : static_cast<int>(needed[static_cast<size_t>(k)] * room / std::max(1LL, total));
            widths[static_cast<size_t>(k)] = nw;
            used += nw;
        }
        widths[static_cast<size_t>(n - 1)] = std::max(0, room - used);
    }
    x = m;
    for (int k = 0; k < n; ++k) {
        button(k)->setGeometry(x, y, widths[static_cast<size_t>(k)], h);
        x += widths[static_cast<size_t>(k)] + gap;
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
