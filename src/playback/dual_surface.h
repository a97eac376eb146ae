#pragma once
// The main video surface with both cameras: a presenter for the main camera (slot 0) and one for
// the sub camera (slot 1), shown in one of three views that "switch display" cycles:
//   Main             the main camera fills the surface (the default);
//   Sub              the sub camera fills the surface;
//   MainWithSubInset the main camera with the sub camera as an inset at the lower right, a
//                    third of the surface's width wide, its aspect ratio kept, 8 scaled units
//                    from the right and bottom edges.
// Both presenters always draw, so that switching shows the current picture at once; the hidden
// one draws at the inset's size.
//
// Screen readers read the surface as a picture named after the view and the frame shown
// ("Main camera, frame 120 of 600"); a change of that name is announced only while assistive
// technology listens.
#include "playback/video_presenter.h"
#include "playback/spoken_text.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

namespace ravir {

class Player;

enum class DisplayView { Main = 0, Sub = 1, MainWithSubInset = 2 };

class DualVideoSurface : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("AccessibleRole", "Graphic")
    Q_PROPERTY(QString spokenName READ spokenName)
public:
    static constexpr int kInsetMargin = 8;  // design units from the right and bottom edges

    explicit DualVideoSurface(QWidget* parent = nullptr,
                              VideoPresenter::Backend backend = VideoPresenter::Backend::Automatic);

    VideoPresenter* mainPresenter() const { return main_; }
    VideoPresenter* subPresenter() const { return sub_; }

    // The players whose pictures are placed again when the layout changes (either may be null).
    // Without a sub camera movie open the view stays on the main camera.
    void setPlayers(Player* main, Player* sub);
    void setLayoutScale(double scale);

    DisplayView view() const { return view_; }
    void setView(DisplayView view);
    // "switch display": Main -> Sub -> MainWithSubInset -> Main. Returns the view now shown.
    DisplayView switchDisplay();

    // Where the inset goes in a surface of that size for a sub picture of that size (a 16:9
    // picture when its size is unknown).
    // The frame on screen and the recording's frame count (a negative frame: nothing open).
    void setFrameShown(int frame, int frameCount);
    int frameShown() const { return frame_; }
    // The view's name, with the frame when a recording is open, in the current UI text row.
    QString spokenName() const;
    static QString ViewName(DisplayView view);

    static QRect InsetRect(const QSize& surface, const QSize& subPicture, double scale);
    // The rectangles the presenters cover now (null when hidden).
    QRect mainArea() const;
    QRect subArea() const;

Q_SIGNALS:
    void viewChanged(ravir::DisplayView view);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    bool subOpen() const;
    void relayout();
    void announce();

    VideoPresenter* main_;
    VideoPresenter* sub_;
    QPointer<Player> mainPlayer_;
    QPointer<Player> subPlayer_;
    DisplayView view_ = DisplayView::Main;
    double scale_ = 1.0;
    int frame_ = -1;
    int frameCount_ = 0;
    SpokenText spoken_;
};

}  // namespace ravir
