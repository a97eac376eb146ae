#pragma once
// CToggleButton: the skinned check button of the information panel's axis toggles and of the
// settings dialog. A 12 x 12 (scaled) picture of the on or off state, followed by the button's
// text when it has one. Starts in the on state.
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

private:
    int commandId_;
    int imageSize_ = 12;
};

}  // namespace ravir
