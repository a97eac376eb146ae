#pragma once
// The main window's keys and the mouse on its video surface. The window's keys come first
// wherever the focus rests inside it (text fields keep theirs); a left click on the picture is
// reported once the double-click time has passed, a double click asks for full screen and a
// right click for the video menu. What was asked for comes out as signals.
#include "windows/main/command.h"

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <vector>

class QKeyEvent;
class QWidget;

namespace ravir {

class WindowInput : public QObject {
    Q_OBJECT
public:
    // Watches the application's keys for `window`, and the mouse on `video` (the coordinates of
    // clicks are video's).
    WindowInput(QWidget& window, QWidget& video);
    ~WindowInput() override;

    // Another widget of the video surface (the pictures drawn over the video pane).
    void watchSurface(QWidget* surface);
    // One of the window's keys: its signal is emitted and true returned.
    bool takeKey(QKeyEvent* event);
    void stop();  // a pending click is dropped

Q_SIGNALS:
    void closeRequested();
    void commandKey(Command command);
    void fullScreenToggled();
    void framesStepped(int delta);
    void escapePressed();
    void videoClicked(QPoint point);
    void menuRequested(QPoint globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    QWidget& video_;
    std::vector<QObject*> surfaces_;
    QTimer clickTimer_;
    QPoint clickPoint_;
};

}  // namespace ravir
