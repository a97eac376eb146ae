#pragma once
// Geometry of the main window on the design grid. Every value is a design value in scaled units
// times the layout scale, truncated; values written as sums (2 x 6) are truncated separately.
#include <QRect>
#include <array>

namespace ravir {

constexpr int kDesignWidth = 1120;
constexpr int kDesignHeight = 697;
constexpr int kTransportButtonCount = 14;
constexpr float kMaxEnlargementCap = 24.0f / 7.0f;

struct MainLayout {
    QRect window;          // client rectangle, origin 0,0
    QRect caption;         // the top strip that moves the window
    QRect titleText;
    QRect video;           // main camera surface
    QRect positionSlider;
    QRect infoPanel;
    QRect graph;
    QRect fileBrowser;
    std::array<QRect, kTransportButtonCount> transport;
    QRect volumeSlider;
    QRect closeButton, maximiseButton, minimiseButton, thumbnailButton;
    QRect progressBarIdle;  // hidden at the bottom of the client area
    QRect progressBarBusy;  // over the bottom of the video surface while a task runs
};

// Lays the panes out for a client size in pixels at the given layout scale.
MainLayout ComputeMainLayout(int width, int height, float layoutScale);

// The largest window scale factor: the monitor's full width x 2 over the design width, capped.
float MaxEnlargement(int monitorWidth, float layoutScale);

}  // namespace ravir
