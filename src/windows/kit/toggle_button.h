#pragma once
// CToggleButton: the skinned check button of the information panel's axis toggles and of the
// settings dialog. A 12 x 12 (scaled) picture of the on or off state, followed by the button's
// text when it has one. Starts in the on state. Screen readers read it as a check box with its
// checked state, named by its text (or the accessible name given to a button without text); the
// keyboard focus frames it.
#include <QAbstractButton>

namespace ravir {

class CToggleButton : public QAbstractButton {
    Q_OBJECT
public:
    CToggleButton(int commandId, const QString& text, QWidget* parent = nullptr);
    int commandId() const { return commandId_; }
    void setImageSize(int pixels);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int commandId_;
    int imageSize_ = 12;
};

}  // namespace ravir
