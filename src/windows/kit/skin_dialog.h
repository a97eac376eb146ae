#pragma once
// CSkinDialog: the base of the program's own dialogs. A borderless dark dialog whose top 20 units
// carry its title and move it when dragged; a close button (the "dialog_close" strip, 13 x 12
// units) sits at (right - 20, 4) and rejects the dialog. Enter and Escape do nothing: a skinned
// dialog closes only through its buttons.
#include "windows/kit/caption_drag.h"

#include <QColor>
#include <QDialog>
#include <QPoint>

namespace ravir {

class CSkinButton;

class CSkinDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSkinDialog(QWidget* parent = nullptr);

    CSkinButton* closeButton() const { return m_close; }
    QRect captionRect() const;  // the top 20 units
    void setFrameColor(const QColor& colour);
    bool isDragging() const { return m_captionDrag.pending() || m_captionDrag.following(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void placeCloseButton();
    // Paints the client area below the caption (the dark background by default).
    virtual void paintBody(QPainter& painter);

private:
    CSkinButton* m_close = nullptr;
    QColor m_frame{0x6A, 0x6E, 0x74};
    CaptionDrag m_captionDrag{this};
};

}  // namespace ravir
