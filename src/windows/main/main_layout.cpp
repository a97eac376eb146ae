#include "windows/main/main_layout.h"

#include <algorithm>
#include <cmath>

namespace ravir {
namespace {
struct Grid {
    float s;
    int operator()(double units) const { return static_cast<int>(units * static_cast<double>(s)); }
};

bool dragsLeft(int zone)
{
    return zone == kZoneLeft || zone == kZoneTopLeft || zone == kZoneBottomLeft;
}
bool dragsRight(int zone)
{
    return zone == kZoneRight || zone == kZoneTopRight || zone == kZoneBottomRight;
}
bool dragsTop(int zone)
{
    return zone == kZoneTop || zone == kZoneTopLeft || zone == kZoneTopRight;
}
bool dragsBottom(int zone)
{
    return zone == kZoneBottom || zone == kZoneBottomLeft || zone == kZoneBottomRight;
}
}  // namespace

MainLayout ComputeMainLayout(int width, int height, float layoutScale)
{
    const Grid u{layoutScale};
    MainLayout l;
    l.window = QRect(0, 0, width, height);
    l.caption = QRect(0, 0, width, u(kCaptionUnits));
    l.titleText = QRect(QPoint(u(10), u(4)), QPoint(u(400), u(30)));

    const int innerWidth = width - (u(6) + u(6));
    const int videoWidth = innerWidth - u(440) - (u(6) + u(6));
    const int innerHeight = height - u(10) - u(38) - u(24);
    const int videoHeight = innerHeight - u(150) - u(105);
    l.video = QRect(u(6), u(24), videoWidth, videoHeight);
    const int videoBottom = l.video.top() + videoHeight;  // first row below the surface

    l.positionSlider = QRect(l.video.left(), videoBottom, videoWidth, u(10));
    l.infoPanel = QRect(l.video.left() + 1, videoBottom + u(10), videoWidth - 1, u(105));
    const int graphTop = l.infoPanel.top() + l.infoPanel.height();
    const int graphBottom = height - u(42);
    l.graph = QRect(l.infoPanel.left(), graphTop, l.infoPanel.width(),
                    std::max(0, graphBottom - graphTop));

    const int browserLeft = l.video.left() + videoWidth;
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
    l.progressBarBusy = QRect(l.video.left() + u(2), videoBottom - u(22),
                              videoWidth - (u(2) + u(2)), u(22) - u(2));
    return l;
}

QSize DesignSize(float layoutScale)
{
    const Grid u{layoutScale};
    return {u(kDesignWidth), u(kDesignHeight)};
}

float MaxEnlargement(int monitorWidth, float layoutScale)
{
    const float design = static_cast<float>(static_cast<int>(kDesignWidth * layoutScale));
    if (design <= 0.0f)
        return kMaxEnlargementCap;
    return std::min(static_cast<float>(monitorWidth) * 2.0f / design, kMaxEnlargementCap);
}

int HitTestZone(QPoint p, QSize client, float layoutScale, bool maximised)
{
    const Grid u{layoutScale};
    if (p.x() < 0 || p.y() < 0 || p.x() >= client.width() || p.y() >= client.height())
        return kZoneNone;
    const int caption = u(kCaptionUnits);
    if (maximised)
        return p.y() < caption ? kZoneCaption : kZoneNone;
    const int b = u(kBorderUnits);
    const bool left = p.x() < b;
    const bool right = p.x() >= client.width() - b;
    const bool top = p.y() < b;
    const bool bottom = p.y() >= client.height() - b;
    if (top && left)
        return kZoneTopLeft;
    if (top && right)
        return kZoneTopRight;
    if (bottom && left)
        return kZoneBottomLeft;
    if (bottom && right)
        return kZoneBottomRight;
    if (left)
        return kZoneLeft;
    if (right)
        return kZoneRight;
    if (top)
        return kZoneTop;
    if (bottom)
        return kZoneBottom;
    return p.y() < caption ? kZoneCaption : kZoneNone;
}

Qt::CursorShape CursorForZone(int zone)
{
    switch (zone) {
    case kZoneLeft:
    case kZoneRight:
        return Qt::SizeHorCursor;
    case kZoneTop:
    case kZoneBottom:
        return Qt::SizeVerCursor;
    case kZoneTopLeft:
    case kZoneBottomRight:
        return Qt::SizeFDiagCursor;
    case kZoneTopRight:
    case kZoneBottomLeft:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

Qt::Edges EdgesForZone(int zone)
{
    Qt::Edges e;
    if (dragsLeft(zone))
        e |= Qt::LeftEdge;
    if (dragsRight(zone))
        e |= Qt::RightEdge;
    if (dragsTop(zone))
        e |= Qt::TopEdge;
    if (dragsBottom(zone))
        e |= Qt::BottomEdge;
    return e;
}

QRect DraggedRect(const QRect& start, int zone, QPoint delta)
{
    int left = start.left();
    int top = start.top();
    int right = start.left() + start.width();  // exclusive
    int bottom = start.top() + start.height();
    // A dragged edge stops at its opposite edge; the clamp then makes the size whole again.
    if (dragsLeft(zone))
        left = std::min(left + delta.x(), right);
    if (dragsRight(zone))
        right = std::max(right + delta.x(), left);
    if (dragsTop(zone))
        top = std::min(top + delta.y(), bottom);
    if (dragsBottom(zone))
        bottom = std::max(bottom + delta.y(), top);
    return QRect(left, top, right - left, bottom - top);
}

float ScaleFactorFor(int size, int designSize)
{
    if (designSize <= 0)
        return 1.0f;
    return std::max(1.0f, static_cast<float>(size) / static_cast<float>(designSize));
}

float FittingFactor(int available, int designSize)
{
    if (designSize <= 0 || available <= designSize)
        return 1.0f;
    float factor = static_cast<float>(available) / static_cast<float>(designSize);
    // The float quotient may round up by one pixel's worth; step down until it fits.
    while (factor > 1.0f && static_cast<int>(static_cast<float>(designSize) * factor) > available)
        factor = std::nextafter(factor, 1.0f);
    return factor;
}

QRect MovedInto(const QRect& window, const QRect& area)
{
    if (!area.isValid())
        return window;
    QRect r = window;
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    if (r.left() < area.left())
        r.moveLeft(area.left());
    if (r.top() < area.top())
        r.moveTop(area.top());
    return r;
}

ClampedResize ClampResize(const QRect& proposed, int zone, float layoutScale, float maxEnlargement)
{
    const QSize design = DesignSize(layoutScale);
    const float maxFactor = std::max(1.0f, maxEnlargement);
    ClampedResize out;
    int width = proposed.width();
    int height = proposed.height();
    const auto clampAxis = [&](int& size, int designSize, float& factor) {
        factor = designSize > 0 ? static_cast<float>(size) / static_cast<float>(designSize) : 1.0f;
        if (factor < 1.0f || factor > maxFactor) {
            factor = std::clamp(factor, 1.0f, maxFactor);
            size = static_cast<int>(static_cast<float>(designSize) * factor);
        }
    };
    clampAxis(width, design.width(), out.factorX);
    clampAxis(height, design.height(), out.factorY);
    const int right = proposed.left() + proposed.width();
    const int bottom = proposed.top() + proposed.height();
    const int left = dragsLeft(zone) ? right - width : proposed.left();
    const int top = dragsTop(zone) ? bottom - height : proposed.top();
    out.rect = QRect(left, top, width, height);
    return out;
}

QSize DetachedWindowSize(float layoutScale)
{
    const Grid u{layoutScale};
    // 452 = 440 + 2 x 6; 368 = (1120 - 28 - 440) x 9 / 16 + 3 - 1, truncated.
    constexpr int heightUnits = (1120 - 28 - 440) * 9 / 16 + 3 - 1;
    return {u(440) + (u(6) + u(6)), u(heightUnits)};
}

QRect DetachedMapArea(QSize windowSize, float layoutScale)
{
    const Grid u{layoutScale};
    const int strip = u(20);
    const int margin = std::max(1, u(1));
    return QRect(margin, strip, std::max(0, windowSize.width() - 2 * margin),
                 std::max(0, windowSize.height() - strip - margin));
}

QRect PlaceDetachedWindow(const QRect& mainFrame, QSize size, const QRect& available)
{
    const QRect right(QPoint(mainFrame.left() + mainFrame.width(), mainFrame.top()), size);
    if (available.isEmpty() || available.contains(right))
        return right;
    const QRect left(QPoint(mainFrame.left() - size.width(), mainFrame.top()), size);
    if (available.contains(left))
        return left;
    // Room on neither side: the side with more room, against the screen's edge, so that the
    // least of the main window is covered; on a tie the left, which leaves the title-bar
    // buttons at the main window's right uncovered.
    const int roomLeft = mainFrame.left() - available.left();
    const int roomRight = available.left() + available.width() - (mainFrame.left() + mainFrame.width());
    const int x = roomLeft >= roomRight
                      ? available.left()
                      : std::max(available.left(), available.left() + available.width() - size.width());
    const int y = std::max(available.top(),
                           std::min(right.top(), available.top() + available.height() - size.height()));
    return QRect(QPoint(x, y), size);
}

VideoZoom ZoomStep(const VideoZoom& current, QPoint click)
{
    const float s = current.magnification > 0.0f ? current.magnification : 1.0f;
    const float next = s + 1.0f;
    if (next > kMaxMagnification)
        return {};
    // The picture point under the click, in units of the unmagnified surface, stays there.
    const auto axis = [&](int c, int offset) {
        const double picture = (c - offset) / static_cast<double>(s);
        return static_cast<int>(std::lround(c - picture * next));
    };
    return {next, QPoint(axis(click.x(), current.offset.x()), axis(click.y(), current.offset.y()))};
}

bool IsParkingRecordingName(const QString& fileName)
{
    if (fileName.isEmpty())
        return false;
    const QChar first = fileName.at(0);
    if (first == u'P')
        return true;
    if (first == u'A' || first == u'T')
        return false;
    return fileName.size() >= 3 && fileName.at(2) == u'T';
}

MapShellState DecideMapShell(const MapShellInput& in)
{
    MapShellState s;
    if (in.fullScreen)
        return s;
    s.showMap = in.hasPosition && in.pageReady && in.telemetrySize >= 64 &&
                !IsParkingRecordingName(in.fileName);
    s.showPlaceholder = !s.showMap;
    s.noInternetPicture = in.mapSwitchedOn && in.hasPosition && in.pageUnavailable;
    return s;
}

}  // namespace ravir
