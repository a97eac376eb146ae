#include "windows/catalogue/file_list_ctrl.h"

#include "catalogue/recording_name.h"
#include "playback/thumbnail_cache.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace ravir {
namespace {

class FileRowDelegate : public QStyledItemDelegate {
public:
    FileRowDelegate(CFileListCtrl* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const int row = index.row();
        painter->save();
        const bool playing = row == list_->playingRow();
        QRect cell = option.rect;
        if (playing || index.column() == 0)
            painter->fillRect(cell, list_->rowBackground(row));
        else
            painter->fillRect(cell, CFileListCtrl::kRow);
        painter->setPen(CFileListCtrl::kFrame);
        painter->drawRect(cell);  // one pixel beyond the cell to the right and bottom
        painter->setPen(list_->rowText(row));
        painter->setFont(option.font);
        QRect textRect = cell.adjusted(Scaled(4), 0, -2, 0);
        if (index.column() == 0 && list_->thumbnailsShown()) {
            const QSize ts = list_->thumbnailSize();
            const QRect box(cell.left() + Scaled(4), cell.top() + (cell.height() - ts.height()) / 2,
                            ts.width(), ts.height());
            const RecordingRecord* r = list_->recordAt(row);
            const QImage picture = r ? list_->thumbnailCache()->picture(r->path) : QImage();
            if (picture.isNull())
                painter->fillRect(box, QColor(0x31, 0x31, 0x31));
            else
                painter->drawImage(box, picture);
            textRect.setLeft(box.right() + Scaled(6));
            painter->setPen(list_->rowText(row));
        }
        const QString label = index.data(Qt::DisplayRole).toString();
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(label, Qt::ElideRight, textRect.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(list_->rowHeight());
        return s;
    }

private:
    CFileListCtrl* list_;
};

}  // namespace

CFileListCtrl::CFileListCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("fileList"));
    setColumnCount(2);
    setHeaderLabels({text(TXT_FILE_NO), text(TXT_TRIGGER)});
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new FileRowDelegate(this));
    header()->setStretchLastSection(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CFileListCtrl::onSelectionChanged);
    hoverTimer_ = new QTimer(this);
    hoverTimer_->setSingleShot(true);
    hoverTimer_->setInterval(kHoverMs);
    connect(hoverTimer_, &QTimer::timeout, this, &CFileListCtrl::onHover);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { choose(indexOfTopLevelItem(item), true); });
}

bool CFileListCtrl::isEventRow(const RecordingRecord& record)
{
    const RecordingKind kind = KindOf(record.path);
    return kind == RecordingKind::Impact || kind == RecordingKind::ParkingImpact;
}

void CFileListCtrl::setRecords(const RecordList& all, const KindFilter& filter)
{
    filling_ = true;
    shown_ = ApplyKindFilter(all, filter);
    stopPreview();
    if (cache_)
        cache_->dropQueue();
    clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(shown_.size()));
    for (const RecordingRecord& r : shown_) {
        auto* item = new QTreeWidgetItem({ListText(r.path), QString()});
        item->setToolTip(0, r.path);
        rows << item;
    }
    addTopLevelItems(rows);
    playingRow_ = -1;
    for (int i = 0; i < rowCount(); ++i)
        if (!openPath_.isEmpty() && shown_[static_cast<size_t>(i)].path == openPath_)
            playingRow_ = i;
    fitColumns();
    filling_ = false;
}

const RecordingRecord* CFileListCtrl::recordAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &shown_[static_cast<size_t>(row)];
}

void CFileListCtrl::setPlayingRow(int row)
{
    playingRow_ = recordAt(row) ? row : -1;
    openPath_ = playingRow_ >= 0 ? shown_[static_cast<size_t>(row)].path : QString();
    viewport()->update();
}

void CFileListCtrl::clearOpenRecording()
{
    playingRow_ = -1;
    openPath_.clear();
    viewport()->update();
}

void CFileListCtrl::selectRow(int row)
{
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item)
        return;
    if (currentItem() == item && item->isSelected()) {
        choose(row, false);
    } else {
        setCurrentItem(item);
    }
    scrollToItem(item);
}

int CFileListCtrl::selectedRow() const
{
    const QList<QTreeWidgetItem*> sel = selectedItems();
    return sel.isEmpty() ? -1 : indexOfTopLevelItem(sel.front());
}

QColor CFileListCtrl::rowBackground(int row) const
{
    const RecordingRecord* r = recordAt(row);
    const bool event = r && isEventRow(*r);
    if (row == playingRow_)
        return event ? kPlayingEvent : kPlaying;
    return event ? kEventRow : kRow;
}

QColor CFileListCtrl::rowText(int row) const
{
    const RecordingRecord* r = recordAt(row);
    return (r && r->trigger == 1) ? kTriggerText : QColor(Qt::black);
}

void CFileListCtrl::onSelectionChanged()
{
    if (filling_)
        return;
    const int row = selectedRow();
    if (row >= 0)
        choose(row, false);
}

void CFileListCtrl::choose(int row, bool always)
{
    const RecordingRecord* r = recordAt(row);
    if (!r)
        return;
    if (!always && !openPath_.isEmpty() && r->path == openPath_) {
        playingRow_ = row;
        viewport()->update();
        return;
    }
    const RecordingRecord copy = *r;
    setPlayingRow(row);
    Q_EMIT rowChosen(row, copy);
}

void CFileListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        choose(selectedRow(), true);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

int CFileListCtrl::rowHeight() const
{
    return std::max(1, Scaled(thumbnails_ ? 40 : kRowHeightUnits));
}

QSize CFileListCtrl::thumbnailSize() const
{
    const int h = std::max(1, Scaled(36));
    return {h * 16 / 9, h};
}

void CFileListCtrl::setThumbnailsShown(bool on)
{
    if (on == thumbnails_)
        return;
    thumbnails_ = on;
    if (on && !cache_) {
        cache_ = new ThumbnailCache(thumbnailSize(), this);
        connect(cache_, &ThumbnailCache::ready, this, [this](const QString& path) {
            for (int i = 0; i < rowCount(); ++i)
                if (shown_[static_cast<size_t>(i)].path == path)
                    if (QTreeWidgetItem* item = topLevelItem(i))
                        viewport()->update(visualItemRect(item));
        });
    }
    // The rows change height.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void CFileListCtrl::setPreviewEnabled(bool on)
{
    previewEnabled_ = on;
    setMouseTracking(on);
    viewport()->setMouseTracking(on);
    if (!on) {
        hoverTimer_->stop();
        stopPreview();
    }
}

QRect CFileListCtrl::PreviewGeometry(const QRect& listGlobal, const QRect& rowGlobal, double scale)
{
    const int w = static_cast<int>(220 * scale);
    const int h = w * 9 / 16;
    int y = rowGlobal.center().y() - h / 2;
    if (y + h > listGlobal.bottom() + 1)
        y = listGlobal.bottom() + 1 - h;
    return {listGlobal.left() - w, y, w, h};
}

void CFileListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (previewEnabled_) {
        hoverPos_ = event->position().toPoint();
        hoverTimer_->start();
    }
    QTreeWidget::mouseMoveEvent(event);
}

void CFileListCtrl::mousePressEvent(QMouseEvent* event)
{
    hoverTimer_->stop();
    stopPreview();
    QTreeWidget::mousePressEvent(event);
}

void CFileListCtrl::leaveEvent(QEvent* event)
{
    hoverTimer_->stop();
    stopPreview();
    QTreeWidget::leaveEvent(event);
}

void CFileListCtrl::onHover()
{
    if (!previewEnabled_)
        return;
    const QModelIndex index = indexAt(hoverPos_);
    const RecordingRecord* r = index.isValid() ? recordAt(index.row()) : nullptr;
    if (!r || !viewport()->rect().contains(hoverPos_)) {
        stopPreview();
        return;
    }
    if (index.row() == previewRow_)
        return;
    previewRow_ = index.row();
    const QRect row = visualRect(index);
    const QRect rowGlobal(viewport()->mapToGlobal(row.topLeft()), row.size());
    const QRect listGlobal(mapToGlobal(QPoint(0, 0)), size());
    Q_EMIT previewRequested(previewRow_, *r,
                            PreviewGeometry(listGlobal, rowGlobal, LayoutScale()));
}

void CFileListCtrl::stopPreview()
{
    if (previewRow_ < 0)
        return;
    previewRow_ = -1;
    Q_EMIT previewStopped();
}

void CFileListCtrl::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    fitColumns();
}

int CFileListCtrl::textColumnWidthNeeded() const
{
    const QFontMetrics metrics(font());
    // A recording's list text: four letters, time and file number.
    int widest = metrics.horizontalAdvance(QStringLiteral("AG__-000000-000000"));
    for (int r = 0; r < topLevelItemCount(); ++r)
        widest = std::max(widest, metrics.horizontalAdvance(topLevelItem(r)->text(0)));
    int needed = Scaled(4) + widest + 2 + Scaled(4);
    if (thumbnails_)
        needed += thumbnailSize().width() + Scaled(6);
    return needed;
}

int CFileListCtrl::widthNeeded() const
{
    const int scrollBar = verticalScrollBar()->sizeHint().width();
    return textColumnWidthNeeded() + scrollBar + 2 * frameWidth();
}

void CFileListCtrl::fitColumns()
{
    // Column 0 takes the width but 51 pixels, or as much more as full names need; column 1
    // the rest.
    const int w = viewport()->width();
    const int first = std::max(std::max(0, w - 51), std::min(w, textColumnWidthNeeded()));
    setColumnWidth(0, first);
    setColumnWidth(1, std::max(0, w - first));
}

}  // namespace ravir
