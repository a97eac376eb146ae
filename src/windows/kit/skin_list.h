#pragma once
// CSkinListCtrl: a list with a tick box per row that follows the mouse. Each row has a state
// image: 1 unchecked, 2 hot (an unchecked row under the mouse), 3 checked, 0 none. Moving over an
// unchecked row shows it hot until the mouse leaves it; a click turns 1 or 2 into 3 and 3 into 1,
// any other state into 1; Space does the same for the current row. Rows are white with black
// text.
//
// Screen readers read each row's first cell as checkable, checked while its state is 3, and
// hear a state change when a row is ticked or unticked; the cell's name is the row's
// accessible text (setRowAccessibleText), else its first column.
#include <QTreeWidget>

namespace ravir {

class CSkinListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum StateImage { kNoState = 0, kUnchecked = 1, kHot = 2, kChecked = 3 };

    explicit CSkinListCtrl(QWidget* parent = nullptr);

    QTreeWidgetItem* addRow(const QStringList& columns, int state = kUnchecked);
    int stateImage(int row) const;
    void setStateImage(int row, int state);
    bool isChecked(int row) const { return stateImage(row) == kChecked; }
    int hotRow() const { return hotRow_; }
    QRect boxRect(int row) const;  // the tick box of a row, in viewport coordinates
    // What screen readers read for the row (its kind and time, say) instead of its first column.
    void setRowAccessibleText(int row, const QString& text);

Q_SIGNALS:
    void stateImageChanged(int row, int state);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHotRow(int row);
    void announceChecked(int row);

    int hotRow_ = -1;
};

}  // namespace ravir
