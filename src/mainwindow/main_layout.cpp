#include "mainwindow/main_layout.h"

#include <algorithm>

namespace ravir {
namespace {
struct Grid {
    float s;
    int operator()(double units) const { return static_cast<int>(units * static_cast<double>(s)); }
};
}  // namespace

MainLayout ComputeMainLayout(int width, int height, float layoutScale)
{
    const Grid u{layoutScale};
    MainLayout l;
    l.window = QRect(0, 0, width, height);
    l.caption = QRect(0, 0, width, u(24));
    l.titleText = QRect(QPoint(u(10), u(4)), QPoint(u(400), u(30)));

    const int innerWidth = width - (u(6) + u(6));
    const int videoWidth = innerWidth - u(440) - (u(6) + u(6));
    const int innerHeight = height - u(10) - u(38) - u(24);
    const int videoHeight = innerHeight - u(150) - u(105);
    l.video = QRect(u(6), u(24), videoWidth, videoHeight);

    l.positionSlider = QRect(l.video.left(), l.video.bottom() + 1, videoWidth, u(10));
    l.infoPanel = QRect(l.video.left() + 1, l.video.bottom() + 1 + u(10), videoWidth - 1, u(105));
    const int graphTop = l.infoPanel.bottom() + 1;
    const int graphBottom = height - u(42);
    l.graph = QRect(l.infoPanel.left(), graphTop, l.infoPanel.width(),
                    std::max(0, graphBottom - graphTop));

    const int browserLeft = l.video.right() + 1;
    const int browserTop = l.video.top() + u(1);
    l.fileBrowser = QRect(browserLeft, browserTop, u(440) + (u(6) + u(6)),
                          std::max(0, height - u(42) - browserTop));

    const int buttonTop = height - u(36);
    for (int i = 0; i < kTransportButtonCount; ++i) {
        int x = u(20 + i * (32 + 15));
        if (i >= 9)
            x += u(30);
        l.transport[static_cast<size_t>(i)] = QRect(x, buttonTop, u(32), u(32));
    }
    l.volumeSlider = QRect(width - u(120), height - u(5 + (38 + 12) / 2), u(100), u(20));

    l.closeButton = QRect(width - u(56), 0, u(46), u(18));
    l.maximiseButton = QRect(width - u(82), 0, u(26), u(18));
    l.minimiseButton = QRect(width - u(108), 0, u(26), u(18));
    l.thumbnailButton = QRect(width - u(258), 0, u(150), u(18));

    l.progressBarIdle = QRect(0, height - u(22), width, u(22));
    l.progressBarBusy = QRect(l.video.left() + u(2), l.video.bottom() + 1 - u(22),
                              videoWidth - (u(2) + u(2)), u(22) - u(2));
    return l;
}

float MaxEnlargement(int monitorWidth, float layoutScale)
{
    const float design = static_cast<float>(static_cast<int>(kDesignWidth * layoutScale));
    if (design <= 0.0f)
        return kMaxEnlargementCap;
    return std::min(static_cast<float>(monitorWidth) * 2.0f / design, kMaxEnlargementCap);
}

}  // namespace ravir
