#include "windows/catalogue/file_select_dlg.h"

#include "catalogue/recording_name.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_list.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>

namespace ravir {
namespace {

constexpr int kJoinedRole = Qt::UserRole + 60;
constexpr uint64_t kMb = uint64_t{1} << 20;

// The skinned list's rows, with the joined mark of the join mode.
class SelectRowDelegate : public QStyledItemDelegate {
public:
    explicit SelectRowDelegate(CSkinListCtrl* list) : QStyledItemDelegate(list), list_(list) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const bool joined = index.siblingAtColumn(0).data(kJoinedRole).toBool();
        p->fillRect(option.rect, joined ? CFileSelectDlg::kJoinedBackground : QColor(Qt::white));
        p->setPen(QColor(0x88, 0x88, 0x88));
        p->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        QRect textRect = option.rect.adjusted(skin::unit(4), 0, 0, 0);
        if (index.column() == 0) {
            const int state = list_->stateImage(index.row());
            const int box = skin::unit(12);
            if (state >= CSkinListCtrl::kUnchecked && state <= CSkinListCtrl::kChecked)
                p->drawPixmap(option.rect.left() + skin::unit(4),
                              option.rect.top() + (option.rect.height() - box) / 2,
                              skin::stripImage(QStringLiteral("check_box"), 4, state - 1,
                                               QSize(box, box)));
            textRect.setLeft(option.rect.left() + skin::unit(4) + box + skin::unit(4));
        }
        p->setPen(joined ? CFileSelectDlg::kJoinedText : QColor(Qt::black));
        p->setFont(option.font);
        p->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight,
                                                  textRect.width()));
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(std::max(s.height(), skin::unit(20)));
        return s;
    }

private:
    CSkinListCtrl* list_;
};

// What a screen reader reads for a row: the kind and the start time of a recording (from its
// name), then the file name and the size, as the columns show them.
QString rowSpokenText(const RecordingRecord& r, const QString& sizeText)
{
    QStringList parts;
    if (IsRecordingName(r.path)) {
        const QString kind = KindLabel(r.path);
        if (!kind.isEmpty())
            parts << kind;
        const SystemTime t = StartTimeOf(r.path);
        parts << QString::asprintf("%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                                   t.minute, t.second);
    }
    parts << r.fileName() << sizeText;
    return parts.join(QStringLiteral(", "));
}

RecordList firstRecords(const RecordList& records)
{
    const size_t n = std::min(records.size(), static_cast<size_t>(CFileSelectDlg::kMaxRecords));
    return RecordList(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace

CFileSelectDlg::CFileSelectDlg(int mode, QWidget* parent)
    : CSkinDialog(parent), mode_(mode == kJoin ? kJoin : kDelete)
{
    setObjectName(QStringLiteral("CFileSelectDlg"));
    setModal(true);
    setFont(SharedFont(kFont10));
    list_ = new CSkinListCtrl(this);
    list_->setObjectName(QStringLiteral("selectList"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({text(TXT_FILE_NAME), text(TXT_FILE_SIZE)});
    list_->setColumnWidth(0, Scaled(270));
    list_->setColumnWidth(1, Scaled(120));
    list_->setItemDelegate(new SelectRowDelegate(list_));
    connect(list_, &CSkinListCtrl::stateImageChanged, this, &CFileSelectDlg::onStateChanged);

    total_ = new QLabel(this);
    total_->setObjectName(QStringLiteral("totalLabel"));
    total_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    total_->setAutoFillBackground(true);

    ok_ = new CSkinButton(this, 1);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setImage(QStringLiteral("btn_text"));
    ok_->setTextAlignment(Qt::AlignCenter);
    connect(ok_, &CSkinButton::clicked, this, [this] { confirm(); });

    showAllButton_ = new CSkinCheckButton(text(TXT_SHOW_ALL_FILES), this);
    showAllButton_->setObjectName(QStringLiteral("showAll"));
    showAllButton_->setCheckable(true);
    connect(showAllButton_, &QAbstractButton::clicked, this, [this] { setShowAll(!showAll_); });
    selectAllButton_ = new CSkinCheckButton(text(TXT_SELECT_ALL_SHOWN), this);
    selectAllButton_->setObjectName(QStringLiteral("selectAllShown"));
    selectAllButton_->setCheckable(true);
    connect(selectAllButton_, &QAbstractButton::clicked, this,
            [this] { setSelectAllShown(!selectAll_); });

    if (mode_ == kDelete) {
        setWindowTitle(text(TXT_DELETE_2));
        ok_->setText(text(TXT_DELETE_2));
    } else {
        setWindowTitle(text(TXT_SAVE_JOINED_2));
        ok_->setText(text(TXT_NEXT_STEP));
        showAllButton_->hide();
    }
    ok_->setEnabled(false);
    setDefaultButton(ok_);
    // Keyboard: the list (Space ticks the current row), the two check buttons, OK.
    setTabOrder(list_, showAllButton_);
    setTabOrder(showAllButton_, selectAllButton_);
    setTabOrder(selectAllButton_, ok_);
    list_->setFocus();
    resize(Scaled(520), Scaled(500));
    recompute();
}

void CFileSelectDlg::resizeEvent(QResizeEvent* event)
{
    CSkinDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    list_->setGeometry(Scaled(10), Scaled(30), std::max(0, w - Scaled(20)),
                       std::max(0, h - Scaled(140)));
    total_->setGeometry(w - Scaled(160), h - Scaled(70), Scaled(140), Scaled(20));
    ok_->setGeometry(w - Scaled(130), h - Scaled(40), Scaled(120), Scaled(30));
    if (mode_ == kDelete) {
        showAllButton_->setGeometry(Scaled(10), h - Scaled(100), Scaled(250), Scaled(22));
        selectAllButton_->setGeometry(Scaled(10), h - Scaled(72), Scaled(250), Scaled(22));
    } else {
        selectAllButton_->setGeometry(Scaled(10), h - Scaled(100), Scaled(250), Scaled(22));
    }
}

bool CFileSelectDlg::setAllList(const RecordList& records)
{
    all_ = firstRecords(records);
    return records.size() <= static_cast<size_t>(kMaxRecords);
}

void CFileSelectDlg::setCurrentList(const RecordList& records)
{
    current_ = firstRecords(records);
    if (records.size() > static_cast<size_t>(kMaxRecords))
        CMsgBox::Error(this, text(TXT_MSG_OVER_1500));
    fill();
}

int CFileSelectDlg::rowCount() const { return static_cast<int>(shown_.size()); }

bool CFileSelectDlg::isTicked(int row) const
{
    return row >= 0 && row < rowCount() && ticked_[static_cast<size_t>(row)];
}

std::vector<int> CFileSelectDlg::tickedRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < rowCount(); ++i)
        if (ticked_[static_cast<size_t>(i)])
            rows.push_back(i);
    return rows;
}

void CFileSelectDlg::fill()
{
    applying_ = true;
    shown_ = showAll_ ? all_ : current_;
    list_->clear();
    for (const RecordingRecord& r : shown_) {
        const QString sizeText = QStringLiteral("%1 MB").arg(static_cast<qulonglong>(r.size / kMb));
        QTreeWidgetItem* item = list_->addRow({r.fileName(), sizeText}, CSkinListCtrl::kUnchecked);
        item->setData(0, kJoinedRole, mode_ == kJoin && r.joined != 0);
        list_->setRowAccessibleText(list_->topLevelItemCount() - 1, rowSpokenText(r, sizeText));
    }
    ticked_.assign(shown_.size(), false);
    applying_ = false;
    if (selectAll_)
        for (int i = 0; i < rowCount(); ++i)
            setRowTicked(i, true);
    recompute();
}

void CFileSelectDlg::setRowTicked(int row, bool on)
{
    ticked_[static_cast<size_t>(row)] = on;
    const bool was = applying_;
    applying_ = true;
    list_->setStateImage(row, on ? CSkinListCtrl::kChecked : CSkinListCtrl::kUnchecked);
    applying_ = was;
}

void CFileSelectDlg::setTicked(int row, bool on)
{
    if (row < 0 || row >= rowCount())
        return;
    list_->setStateImage(row, on ? CSkinListCtrl::kChecked : CSkinListCtrl::kUnchecked);
}

void CFileSelectDlg::onStateChanged(int row, int state)
{
    if (applying_ || row < 0 || row >= rowCount())
        return;
    const bool on = state == CSkinListCtrl::kChecked;
    if (ticked_[static_cast<size_t>(row)] == on)
        return;  // the hot image came or went: no tick change
    if (mode_ == kJoin) {
        // The run as it was before this change.
        int first = -1;
        for (int i = 0; i < rowCount() && first < 0; ++i)
            if (ticked_[static_cast<size_t>(i)])
                first = i;
        int end = rowCount();
        if (first >= 0)
            for (int i = first + 1; i < rowCount(); ++i)
                if (!ticked_[static_cast<size_t>(i)]) {
                    end = i;
                    break;
                }
        ticked_[static_cast<size_t>(row)] = on;
        if (first >= 0) {
            if (on) {
                if (row < first)
                    for (int i = row; i < first; ++i)
                        setRowTicked(i, true);
                else if (row >= end)
                    for (int i = end; i < row; ++i)
                        setRowTicked(i, true);
            } else if (row > first && row < end) {
                for (int i = row; i < end; ++i)
                    setRowTicked(i, false);
            }
        }
    } else {
        ticked_[static_cast<size_t>(row)] = on;
    }
    recompute();
}

void CFileSelectDlg::setShowAll(bool on)
{
    showAll_ = on;
    showAllButton_->setChecked(on);
    fill();
}

void CFileSelectDlg::setSelectAllShown(bool on)
{
    selectAll_ = on;
    selectAllButton_->setChecked(on);
    fill();
}

void CFileSelectDlg::recompute()
{
    uint64_t size = 0, paired = 0, telemetry = 0;
    int count = 0;
    for (int i = 0; i < rowCount(); ++i) {
        if (!ticked_[static_cast<size_t>(i)])
            continue;
        const RecordingRecord& r = shown_[static_cast<size_t>(i)];
        size += r.size;
        paired += r.pairedSize;
        telemetry += r.telemetrySize;
        ++count;
    }
    totalMb_ = (size + paired + telemetry) / kMb;
    sizeOver_ = false;
    tooMany_ = false;
    if (mode_ == kJoin) {
        const uint64_t mb = size / kMb + paired / kMb + telemetry / kMb;
        sizeOver_ = mb > kMaxJoinMegabytes;
        tooMany_ = count >= kMaxJoinFiles;
    }
    total_->setText(totalText());
    QPalette pal = total_->palette();
    pal.setColor(QPalette::WindowText, totalColour());
    pal.setColor(QPalette::Window, Qt::white);
    total_->setPalette(pal);
    ok_->setEnabled(count > 0);
}

QString CFileSelectDlg::totalText() const
{
    return QStringLiteral("%1 MB").arg(static_cast<qulonglong>(totalMb_));
}

QColor CFileSelectDlg::totalColour() const { return sizeOver_ ? QColor(Qt::red) : QColor(Qt::black); }

bool CFileSelectDlg::confirm()
{
    if (!ok_->isEnabled())
        return false;
    if (mode_ == kJoin && sizeOver_) {
        CMsgBox::Error(this, text(TXT_MSG_SIZE_OVER));
        return false;
    }
    if (mode_ == kJoin && tooMany_) {
        CMsgBox::Error(this, text(TXT_MSG_REDUCE_FILES));
        return false;
    }
    result_.clear();
    for (int i : tickedRows())
        result_.push_back(shown_[static_cast<size_t>(i)]);
    accept();
    return true;
}

}  // namespace ravir
