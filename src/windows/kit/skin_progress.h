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
    static inline const QColor kFill{0x00, 0x00, 0xFF};   // COLORREF 0xFF0000
    static inline const QColor kEmpty{0xFF, 0xFF, 0xFF};  // COLORREF 0xFFFFFF

    explicit CSkinProgressBarCtrl(QWidget* parent = nullptr);
    void setRange(int minimum, int maximum);
    void setPosition(int position);
    int position() const { return m_pos; }
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    // The x where the blue part ends (pixels from the left).
    int fillWidth() const;
    QString label() const;
    QRect textBox() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
};

}  // namespace ravir
