#pragma once
// The frame-number pattern that every sample movie carries, so that a test can read back from a
// decoded picture (a still image, a screenshot) which frame it shows.
//
// The top band of the picture, patternBandHeight(h) rows high, is split into kPatternCells equal
// cells across the width. Cell 0 is always white and the last cell always black (the sync cells);
// cells 1 .. kPatternBits hold the frame number, least significant bit first, white for 1 and
// black for 0. The cells are large and flat so that H.264 and JPEG keep them readable.
#include <cstdint>
#include <cstring>

namespace ravir::samples {

constexpr int kPatternCells = 24;
constexpr int kPatternBits = kPatternCells - 2;  // frame numbers 0 .. 4,194,303
constexpr uint8_t kPatternWhite = 235;           // video-range luma
constexpr uint8_t kPatternBlack = 16;

constexpr int patternBandHeight(int height) { return height / 12 < 8 ? 8 : height / 12; }

// Writes the band into an 8-bit luma plane (the caller fills the rest of the picture and the
// chroma planes; neutral chroma 128 under the band keeps it black and white).
inline void drawFramePattern(uint8_t* luma, int stride, int width, int height, uint32_t frame)
{
    const int band = patternBandHeight(height);
    for (int cell = 0; cell < kPatternCells; ++cell) {
        bool white;
        if (cell == 0)
            white = true;
        else if (cell == kPatternCells - 1)
            white = false;
        else
            white = ((frame >> (cell - 1)) & 1u) != 0;
        const int x0 = cell * width / kPatternCells;
        const int x1 = (cell + 1) * width / kPatternCells;
        for (int y = 0; y < band && y < height; ++y)
            std::memset(luma + static_cast<size_t>(y) * static_cast<size_t>(stride) + x0,
                        white ? kPatternWhite : kPatternBlack, static_cast<size_t>(x1 - x0));
    }
}

// Reads the frame number from a decoded picture. lumaAt(x, y) returns the brightness 0..255 of a
// pixel (for RGB pictures any grey level, e.g. qGray). Returns -1 when the sync cells are not
// where they belong (not a pattern picture, or a picture turned or cropped).
template <class LumaAt>
long readFramePattern(int width, int height, LumaAt lumaAt)
{
    if (width < kPatternCells * 2 || height < 16)
        return -1;
    const int band = patternBandHeight(height);
    auto cellIsWhite = [&](int cell, bool& ok) {
        const int x0 = cell * width / kPatternCells;
        const int x1 = (cell + 1) * width / kPatternCells;
        const int cx = (x0 + x1) / 2;
        const int cy = band / 2;
        const int dx = (x1 - x0) / 4;
        const int dy = band / 4;
        int sum = 0;
        int n = 0;
        for (int y = cy - dy; y <= cy + dy; y += (dy > 0 ? dy : 1)) {
            for (int x = cx - dx; x <= cx + dx; x += (dx > 0 ? dx : 1)) {
                sum += lumaAt(x, y);
                ++n;
            }
        }
        const int mean = sum / n;
        ok = mean < 90 || mean > 160;  // a grey cell means this is no pattern
        return mean > 128;
    };
    bool ok = true;
    if (!cellIsWhite(0, ok) || !ok)
        return -1;
    if (cellIsWhite(kPatternCells - 1, ok) || !ok)
        return -1;
    long frame = 0;
    for (int bit = 0; bit < kPatternBits; ++bit) {
        const bool white = cellIsWhite(bit + 1, ok);
        if (!ok)
            return -1;
        if (white)
            frame |= 1L << bit;
    }
    return frame;
}

}  // namespace ravir::samples
