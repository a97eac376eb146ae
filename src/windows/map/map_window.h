#pragma once
// The detached view window that holds the map, and the placeholder picture shown in the map's
// place.
//
// CMovieDialog is a frameless tool window of 452 x 368 scaled units with a 20-unit caption strip
// that carries its title, framed by a light grey line; a drag on the strip moves it and a
// double-click asks the main window to place it beside itself again. The map (or, while no map
// can be shown, the placeholder CLogoDlg) fills the rest with a 1-unit margin.
#include "windows/kit/caption_drag.h"

#include <QPointer>
#include <QWidget>

namespace ravir {

class CLogoDlg : public QWidget {
    Q_OBJECT
public:
    explicit CLogoDlg(QWidget* parent = nullptr);
    // true: the logo with the notice that the map needs an Internet connection; false: the logo.
    void setNoInternet(bool on);
    bool noInternet() const { return noInternet_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool noInternet_ = false;
};

// The map window (the class keeps the product's name for it).
class CMovieDialog : public QWidget {
    Q_OBJECT
public:
    explicit CMovieDialog(QWidget* parent = nullptr);

    CLogoDlg* placeholder() const { return logo_; }
    // The map widget when the map exists; it is laid over the map area.
    void setMapWidget(QWidget* map);
    QWidget* mapWidget() const { return map_; }
    // Size and contents for the current layout scale.
    void LayOut();
    // Shows the map or the placeholder.
    void showMapOrPlaceholder(bool map, bool placeholder, bool noInternet);
    // Whether the window was placed beside the main window once; it keeps its own position
    // afterwards.
    bool placedOnce() const { return placedOnce_; }
    void markPlaced() { placedOnce_ = true; }

Q_SIGNALS:
    void placeBesideMainRequested();  // a double-click on the caption strip
    void painted();                   // the pictures of the main window are placed again

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool inCaption(QPoint p) const;

    CLogoDlg* logo_ = nullptr;
    QPointer<QWidget> map_;
    bool placedOnce_ = false;
    CaptionDrag captionDrag_{this};
};

}  // namespace ravir
