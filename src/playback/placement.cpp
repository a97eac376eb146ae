#include "playback/placement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ravir {

std::optional<IntRect> ComputeDestinationRect(const PlacementInput& in)
{
    const int w = in.clientWidth;
    const int h = in.clientHeight;
    if (in.zoom == 0.0f || w <= 0 || h <= 0)
        return std::nullopt;
    IntRect r{0, 0, w, h};
    if (in.zoom != 1.0f) {
        const float grow = in.zoom - 1.0f;
        const float fx = static_cast<float>(in.centreX) / static_cast<float>(w);
        const float fy = static_cast<float>(in.centreY) / static_cast<float>(h);
        r.left -= static_cast<int>(fx * static_cast<float>(w) * grow);
        r.right += static_cast<int>((1.0f - fx) * static_cast<float>(w) * grow);
        r.top -= static_cast<int>(fy * static_cast<float>(h) * grow);
        r.bottom += static_cast<int>((1.0f - fy) * static_cast<float>(h) * grow);
        if (r.right < r.left || r.bottom < r.top)
            return std::nullopt;
    }
    r.left += in.offsetX;
    r.right += in.offsetX;
    r.top += in.offsetY;
    r.bottom += in.offsetY;
    if (in.aspectMode == 1 && in.nativeWidth > 0 && in.nativeHeight > 0) {
        const double ratio = static_cast<double>(in.nativeWidth) / in.nativeHeight;
        const double clientRatio = static_cast<double>(w) / h;
        int fw = r.width();
        int fh = r.height();
        if (clientRatio > ratio)
            fw = static_cast<int>(fh * ratio);
        else
            fh = static_cast<int>(fw / ratio);
        const int left = r.left + (r.width() - fw) / 2;
        const int top = r.top + (r.height() - fh) / 2;
        r = IntRect{left, top, left + fw, top + fh + 1};
    }
    return r;
}

std::array<IntRect, 4> BlackStrips(int clientWidth, int clientHeight, const IntRect& dest)
{
    const int top = std::clamp(dest.top, 0, clientHeight);
    const int bottom = std::clamp(dest.bottom, top, clientHeight);
    const int left = std::clamp(dest.left, 0, clientWidth);
    const int right = std::clamp(dest.right, left, clientWidth);
    return {IntRect{0, 0, clientWidth, top}, IntRect{0, bottom, clientWidth, clientHeight},
            IntRect{0, top, left, bottom}, IntRect{right, top, clientWidth, bottom}};
}

bool IsValidVideoPosition(const NormRect& s, const IntRect& d)
{
    const bool sourceOk = s.left >= 0 && s.left <= s.right && s.right <= 1 && s.top >= 0 &&
                          s.top <= s.bottom && s.bottom <= 1;
    return sourceOk && d.left <= d.right && d.top <= d.bottom;
}

NormRect OverlayRect(int clientWidth, int clientHeight, int nativeWidth, int nativeHeight,
                     int aspectMode)
{
    if (nativeWidth <= 0 || nativeHeight <= 0)
        return NormRect{};
    double sx = static_cast<double>(clientWidth) / nativeWidth;
    double sy = static_cast<double>(clientHeight) / nativeHeight;
    if (aspectMode == 0)
        sx = sy = std::min(sx, sy);
    const double fw = static_cast<int>(sx * kOverlayWidth) / static_cast<double>(kOverlayWidth);
    const double fh = static_cast<int>(sy * kOverlayHeight) / static_cast<double>(kOverlayHeight);
    return NormRect{std::clamp(1.0 - fw, 0.0, 1.0), std::clamp(1.0 - fh, 0.0, 1.0), 1.0, 1.0};
}

IntRect MapToDest(const NormRect& part, const IntRect& dest)
{
    auto x = [&](double f) { return dest.left + static_cast<int>(std::lround(f * dest.width())); };
    auto y = [&](double f) { return dest.top + static_cast<int>(std::lround(f * dest.height())); };
    return IntRect{x(part.left), y(part.top), x(part.right), y(part.bottom)};
}

int MapRateCode(int requested, int previous)
{
    switch (requested) {
    case 2:
    case 4:
        return requested;
    case -2:
    case -4:
        return requested;
    case -1:
        if (previous == -2)
            return 1;
        if (previous == 1)
            return -2;
        return 1;
    default:
        return 1;
    }
}

double SpeedForRateCode(int code)
{
    switch (code) {
    case 2:
        return 2.0;
    case 4:
        return 4.0;
    case -2:
        return 0.5;
    case -4:
        return 0.25;
    default:
        return 1.0;
    }
}

float FastestRate(bool thinning, int refreshHz, int frameRateNum, int frameRateDen, bool reverse)
{
    float bound = std::numeric_limits<float>::max();
    if (!thinning && refreshHz > 0 && frameRateNum > 0 && frameRateDen > 0) {
        // MulDiv: the product in 64 bits, rounded to the nearest.
        const long long product = static_cast<long long>(refreshHz) * frameRateDen;
        bound = static_cast<float>((product + frameRateNum / 2) / frameRateNum);
    }
    return reverse ? -bound : bound;
}

bool IsRateSupported(bool thinning, float rate, int refreshHz, int frameRateNum, int frameRateDen,
                     float* nearest)
{
    const float bound = FastestRate(thinning, refreshHz, frameRateNum, frameRateDen, false);
    if (std::fabs(rate) <= bound)
        return true;
    if (nearest)
        *nearest = rate < 0 ? -bound : bound;
    return false;
}

long long FrameAtPosition(double seconds, double frameMs)
{
    if (frameMs <= 0 || !std::isfinite(seconds))
        return -1;
    return static_cast<long long>(std::floor(seconds * 1000.0 / frameMs + 0.5));
}

}  // namespace ravir
