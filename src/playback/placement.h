#pragma once
// Picture placement arithmetic of the players: where the video goes in its window (zoom around a
// point, offsets, aspect fit), the strips left black around it, where the text overlay sits and
// which video positions the presenter accepts. Plain functions without any window.
#include <array>
#include <optional>

namespace ravir {

// A pixel rectangle: left and top inclusive, right and bottom exclusive.
struct IntRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const IntRect&) const = default;
};

// A rectangle in units of the video picture, 0..1.
struct NormRect {
    double left = 0;
    double top = 0;
    double right = 1;
    double bottom = 1;
    bool operator==(const NormRect&) const = default;
};

struct PlacementInput {
    int clientWidth = 0;
    int clientHeight = 0;
    int centreX = 0;
    int centreY = 0;
    int offsetX = 0;
    int offsetY = 0;
    float zoom = 1.0f;
    int aspectMode = 1;  // 1 keeps the aspect ratio, anything else stretches
    int nativeWidth = 0;
    int nativeHeight = 0;
};

// The destination rectangle of the video; nullopt for a zoom of 0 or a zoom that turns the
// rectangle inside out. Without a known native size the aspect fit is left out.
std::optional<IntRect> ComputeDestinationRect(const PlacementInput& in);

// The parts of the client area outside dest (top, bottom, left, right); empty ones have zero
// width or height.
std::array<IntRect, 4> BlackStrips(int clientWidth, int clientHeight, const IntRect& dest);

// The presenter's rule for video positions: source within 0..1 with left <= right and
// top <= bottom; destination with left <= right and top <= bottom.
bool IsValidVideoPosition(const NormRect& source, const IntRect& dest);

// Size of the overlay bitmap and where it goes, in units of the video picture: the bottom right
// corner, int(s * 300) / 300 wide and int(s * 120) / 120 high, with s the client size over the
// native size per axis (the smaller of the two for both axes when the picture is stretched).
// Clamped to the picture: a client larger than the video would otherwise put it outside.
constexpr int kOverlayWidth = 300;
constexpr int kOverlayHeight = 120;
NormRect OverlayRect(int clientWidth, int clientHeight, int nativeWidth, int nativeHeight,
                     int aspectMode);

// Maps a NormRect of the picture onto the pixels of dest.
IntRect MapToDest(const NormRect& part, const IntRect& dest);

// Rate codes of the players: maps a requested code to the stored code (backwards play is
// not available), and gives the playback speed of a stored code.
int MapRateCode(int requested, int previous);
double SpeedForRateCode(int code);

// The presenter's rate support: the fastest rate is unbounded (the largest float) with thinning
// or when the frame rate or the display's refresh rate is unknown (0), else refresh x den / num
// (integer arithmetic, rounded), negated for reverse play. A rate is supported when its size
// does not exceed that bound; otherwise *nearest gets the bound with the rate's sign.
float FastestRate(bool thinning, int refreshHz, int frameRateNum, int frameRateDen, bool reverse);
bool IsRateSupported(bool thinning, float rate, int refreshHz, int frameRateNum, int frameRateDen,
                     float* nearest);

// The frame shown at a playback position: the nearest frame start, so that a position that
// lies a rounding error before a frame's start still names that frame.
long long FrameAtPosition(double seconds, double frameMs);

}  // namespace ravir
