#pragma once
// CSkinProgressBarCtrl: the progress bar of the background task. The left part up to the
// position is blue, the rest white; "N %" is centred in a box 100 units wide, white over the blue
// part and blue over the white part.
#include <QColor>
#include <QWidget>

namespace ravir {

class CSkinProgressBarCtrl : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kFill{0x00, 0x00, 0xFF};   // blue
    static inline const QColor kEmpty{0xFF, 0xFF, 0xFF};  // white

    explicit CSkinProgressBarCtrl(QWidget* parent = nullptr);
    void setRange(int minimum, int maximum);
    void setPosition(int position);
    int position() const { return pos_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    // The x where the blue part ends (pixels from the left).
    int fillWidth() const;
    QString label() const;
    QRect textBox() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int min_ = 0;
    int max_ = 100;
    int pos_ = 0;
};

}  // namespace ravir
