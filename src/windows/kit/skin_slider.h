#pragma once
// CSkinSliderCtrl: the position and volume sliders.
//
// The track is drawn from two pictures (played part left of the position, remaining part right
// of it) and a thumb (another picture while the mouse button is held), composed on a back buffer
// and copied in one go. The widget is wider than its track by a mouse band on each side: a press
// up to 10 units beyond either end of the track still counts (and gives the minimum or maximum).
//
// Mouse (only while enabled): a press in the band sets the position from x, marks a jump when it
// was not on the thumb and emits pressed(id, position); moves with the button held inside the band
// emit moving(id, position); the release emits released(id, position). setPosition() from the
// program emits nothing.
//
// Keyboard (once it has the focus through Tab): the arrow keys move the position by the key step
// (Left and Down back, Right and Up on), as a press and release at the new position would. Screen
// readers read it as a slider with its value (accessible_controls.h); a value they set moves it
// the same way. A change of the position is announced only while assistive technology listens.
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <algorithm>

namespace ravir {

class CSkinSliderCtrl : public QWidget {
    Q_OBJECT
public:
    struct Pictures {
        QString played, remaining, thumb, thumbPressed;
    };
    static Pictures positionPictures();  // the position slider's skin
    static Pictures volumePictures();    // the volume slider's skin

    CSkinSliderCtrl(int id, Pictures pictures, QWidget* parent = nullptr);

    // Places the slider so that its track covers `track` (parent coordinates); the widget takes
    // the mouse band on each side as far as `limit` allows (the parent's area when empty).
    void setTrackGeometry(const QRect& track, const QRect& limit = {});
    QRect trackRect() const;  // in widget coordinates

    void setRange(int minimum, int maximum);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setPosition(int position);
    // Moves to a position as the user does: pressed and released at it (clamped to the range);
    // nothing while disabled.
    void moveByUser(int position);
    void setKeyStep(int step) { keyStep_ = std::max(1, step); }
    int keyStep() const { return keyStep_; }
    int position() const { return pos_; }
    int id() const { return id_; }
    bool isPressed() const { return pressed_; }
    bool jumped() const { return jump_; }  // the last press was off the thumb

    int thumbWidth() const;
    int thumbX() const;  // left edge of the thumb on the track
    int playedWidth() const;  // pixels of the track drawn as played

    // The position for a widget x coordinate (the band mapped to the ends).
    int positionAt(int x) const;
    // Whether x lies inside the mouse band (track plus 10 units each side).
    bool inBand(int x) const;

Q_SIGNALS:
    void moving(int id, int position);
    void pressed(int id, int position);
    void released(int id, int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void announceValue();
    void redraw();

    int id_;
    Pictures pictures_;
    int min_ = 0;
    int max_ = 100;
    int pos_ = 0;
    int bandLeft_ = 0;   // pixels of band left of the track inside the widget
    int bandRight_ = 0;  // and right of it
    bool pressed_ = false;
    bool jump_ = false;
    int keyStep_ = 1;
    QPixmap buffer_;
};

}  // namespace ravir
