#pragma once
// CSkinFrame: the frame drawn around the main window. It covers its parent, lets every mouse event
// through and paints only the border cells of the "window_frame" picture: the picture, rendered at
// its design size times the layout scale, is cut into a 3 x 3 grid; the corners go to the
// window's corners, the edge cells are repeated along the edges; the interior is left alone.
#include <QWidget>

namespace ravir {

class CSkinFrame : public QWidget {
    Q_OBJECT
public:
    explicit CSkinFrame(QWidget* parent);
    QSize cellSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace ravir
