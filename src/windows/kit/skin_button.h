#pragma once
// CSkinButton and CSkinCheckButton: buttons drawn from the skin.
//
// A CSkinButton draws one image of a strip of four (normal, hover, pressed, disabled) stretched to
// its size, and its text (if any) over it, centred on the bottom line in the 9-point font:
//   disabled -> image 3, grey text; held down -> 2, grey; checked -> 2, white;
//   pressed look set by the program -> 2, grey; mouse over (enabled) -> 1, white; else 0, white.
// A second strip (the "alternate" image, e.g. pause on the play button) can replace the first
// together with its tooltip. Clicking emits clicked() and command(id).
//
// Screen readers read the button as a push button named after its command (the alternate name
// while the alternate state is on; its text or, failing that, its tooltip when it has no name),
// with its key in the description. A button with the keyboard focus is framed.
#include <QAbstractButton>
#include <QColor>
#include <QString>

namespace ravir {

class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CSkinButton(QWidget* parent = nullptr, int commandId = 0);

    // The strip of four state images (a picture name of the skin) and the tooltip that goes
    // with it.
    void setImage(const QString& strip, const QString& tooltip = {});
    QString image() const { return image_[0]; }
    // A second strip and tooltip, shown while the alternate state is on.
    void setAlternateImage(const QString& strip, const QString& tooltip = {});
    void setAlternate(bool on);
    bool isAlternate() const { return alternate_; }
    QString currentImage() const { return image_[alternate_ && !image_[1].isEmpty() ? 1 : 0]; }

    // The name screen readers read (and the one for the alternate state), and the key that runs
    // the command ("Space", "Ctrl+O"), read in the description.
    void setCommandName(const QString& name, const QString& alternateName = {});
    void setKeyName(const QString& key);

    // The pressed look set by the program (a toggle shown held in, such as the map switch).
    void setPressedLook(bool on);
    bool pressedLook() const { return pressedLook_; }
    // A switch shows its on state with the pressed look; screen readers read that as checked.
    void setToggleSwitch(bool on) { toggleSwitch_ = on; }
    bool isToggleSwitch() const { return toggleSwitch_; }
    // A button that draws nothing (kept for its place and clicks).
    void setNoDraw(bool on);

    int commandId() const { return commandId_; }
    bool isHovered() const { return hover_; }
    // The state image drawn now (0 normal, 1 hover, 2 pressed, 3 disabled) and its text colour.
    int imageIndex() const;
    QColor textColor() const;

    // Where the text goes (the bottom line by default; dialog buttons centre it).
    void setTextAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;

Q_SIGNALS:
    void command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void applyTooltip();

    int commandId_ = 0;
    QString image_[2];
    QString tooltip_[2];
    QString name_[2];
    QString key_;
    bool alternate_ = false;
    bool pressedLook_ = false;
    bool toggleSwitch_ = false;
    bool noDraw_ = false;
    bool hover_ = false;
    Qt::Alignment textAlignment_ = Qt::AlignHCenter | Qt::AlignBottom;
};

// A check box: a 12 x 12-unit box image at (0, 4) from the "check_box" strip (unchecked, hover,
// checked, disabled) and the text 16 units to its right, white (grey when disabled). Screen
// readers read it as a check box (a radio button when auto-exclusive) named by its text, with
// its checked state; the keyboard focus frames it. A text longer than the room right of the box
// is drawn cut with "…", and the whole text is then the tooltip (screen readers always read the
// whole text).
class CSkinCheckButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CSkinCheckButton(const QString& text = {}, QWidget* parent = nullptr);
    void setNoDraw(bool on);
    bool isHovered() const { return hover_; }
    int imageIndex() const;
    QRect boxRect() const;
    // The width the whole text needs: the box, the gap, the text in the 10-point font and a
    // margin (sizeHint's width).
    QSize sizeHint() const override;
    // The room for the text right of the box, and the text as drawn in it.
    int textRoom() const;
    QString shownText() const;
    bool textElided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void applyElisionTip();

    bool noDraw_ = false;
    bool hover_ = false;
    bool elisionTip_ = false;  // the tooltip is the whole text of an elided label
};

}  // namespace ravir
