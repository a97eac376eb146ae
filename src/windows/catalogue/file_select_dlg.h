#pragma once
// CFileSelectDlg: the tick list that chooses the recordings to delete (mode 0) or to join
// (mode 2). Each row shows a file name and its size ("%llu MB"); the total of the ticked rows
// (movie, paired movie and telemetry sizes) is shown beneath, and OK is enabled while a row is
// ticked.
//
// Delete mode: "show all files" lists every recording of the source instead of the current
// folder's. Join mode: the ticked rows always form one run (ticking a row beyond the run ticks
// the rows between; unticking a row inside it unticks the rest of the run), rows already
// joined are marked, and OK refuses more than 1024 MB (red total, TXT_MSG_SIZE_OVER) or 100
// files and more (TXT_MSG_REDUCE_FILES). At most 1500 records are listed.
#include "catalogue/recording_record.h"
#include "windows/kit/skin_dialog.h"

#include <vector>

class QLabel;

namespace ravir {

class CSkinButton;
class CSkinCheckButton;
class CSkinListCtrl;

class CFileSelectDlg : public CSkinDialog {
    Q_OBJECT
public:
    enum Mode { kDelete = 0, kJoin = 2 };
    static constexpr int kMaxRecords = 1500;
    static constexpr int kMaxJoinFiles = 100;     // this many ticked rows is too many
    static constexpr uint64_t kMaxJoinMegabytes = 1024;
    static inline const QColor kJoinedText{0xFF, 0x00, 0xFF};
    static inline const QColor kJoinedBackground{0xFF, 0xFF, 0x00};

    explicit CFileSelectDlg(int mode, QWidget* parent = nullptr);

    // The whole source's records; false when more than 1500 were given (the first 1500 kept).
    bool setAllList(const RecordList& records);
    // The current folder's records (the first 1500; more gives TXT_MSG_OVER_1500) and fills the
    // list from them.
    void setCurrentList(const RecordList& records);

    int mode() const { return mode_; }
    int rowCount() const;
    const RecordList& shownList() const { return shown_; }
    bool isTicked(int row) const;
    // Ticks or unticks a row as a click does (the join run rule applies).
    void setTicked(int row, bool on);
    std::vector<int> tickedRows() const;

    void setShowAll(bool on);
    void setSelectAllShown(bool on);
    bool showAll() const { return showAll_; }
    bool selectAllShown() const { return selectAll_; }

    // The total label's megabytes and text colour; the join limits.
    uint64_t totalMegabytes() const { return totalMb_; }
    QString totalText() const;
    QColor totalColour() const;
    bool sizeOver() const { return sizeOver_; }
    bool tooMany() const { return tooMany_; }

    // OK as the button does it: the limit messages keep the dialog open; else the result list
    // is set and the dialog accepted. True when accepted.
    bool confirm();
    const RecordList& result() const { return result_; }

    CSkinListCtrl* listCtrl() const { return list_; }
    CSkinButton* okButton() const { return ok_; }
    CSkinCheckButton* showAllButton() const { return showAllButton_; }
    CSkinCheckButton* selectAllButton() const { return selectAllButton_; }
    QLabel* totalLabel() const { return total_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fill();
    void onStateChanged(int row, int state);
    void recompute();
    void setRowTicked(int row, bool on);

    int mode_;
    RecordList all_;
    RecordList current_;
    RecordList shown_;
    RecordList result_;
    std::vector<bool> ticked_;
    bool showAll_ = false;
    bool selectAll_ = false;
    bool applying_ = false;
    uint64_t totalMb_ = 0;
    bool sizeOver_ = false;
    bool tooMany_ = false;
    CSkinListCtrl* list_ = nullptr;
    QLabel* total_ = nullptr;
    CSkinButton* ok_ = nullptr;
    CSkinCheckButton* showAllButton_ = nullptr;
    CSkinCheckButton* selectAllButton_ = nullptr;
};

}  // namespace ravir
