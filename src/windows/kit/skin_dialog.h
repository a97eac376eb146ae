#pragma once
// CSkinDialog: the base of the program's own dialogs. A borderless dark dialog whose top 20 units
// carry its title and move it when dragged; a close button (the "dialog_close" strip, 13 x 12
// units) sits at (right - 20, 4) and rejects the dialog.
//
// Keyboard: Tab moves between the controls (each shows the focus), Escape does what the close
// box does, Enter clicks the button that has the focus or else the default button. A dialog that
// must be answered (the message dialog) ignores Enter and Escape: it closes only through its
// buttons (Tab to one, Space presses it).
#include "windows/kit/caption_drag.h"

#include <QColor>
#include <QDialog>
#include <QPoint>
#include <QAbstractButton>
#include <QPointer>

namespace ravir {

class CSkinButton;

class CSkinDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSkinDialog(QWidget* parent = nullptr);

    CSkinButton* closeButton() const { return close_; }
    QRect captionRect() const;  // the top 20 units
    void setFrameColor(const QColor& colour);
    bool isDragging() const { return captionDrag_.pending() || captionDrag_.following(); }

    // The button Enter clicks when the focus is on no other button.
    void setDefaultButton(QAbstractButton* button) { default_ = button; }
    QAbstractButton* defaultButton() const { return default_; }
    // Enter and Escape do nothing; the buttons answer the dialog.
    void setAnswerRequired(bool on) { answerRequired_ = on; }
    bool answerRequired() const { return answerRequired_; }

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
    CSkinButton* close_ = nullptr;
    QPointer<QAbstractButton> default_;
    bool answerRequired_ = false;
    QColor frame_{0x6A, 0x6E, 0x74};
    CaptionDrag captionDrag_{this};
};

}  // namespace ravir
