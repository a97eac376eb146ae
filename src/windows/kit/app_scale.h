#pragma once
// Process-wide layout scale, font scale and the five shared UI fonts.
//
// Every pixel size of the main window is a design value in scaled units times the layout scale,
// truncated. The layout scale is the available height of the screen that holds the main window
// divided by 1056; the font scale is the layout scale times 96 divided by the screen's horizontal
// logical dpi. The shared fonts are 9, 10, 13, 17 and 22 points times the font scale.
#include <QFont>
#include <QStringList>
#include <array>

class QWidget;
class QScreen;

namespace ravir {

// Pure arithmetic, separated from the screen so that it can be checked on any machine.
float LayoutScaleFor(int workAreaHeight);                 // height / 48 / 22
float FontScaleFor(float layoutScale, double logicalDpiX); // layoutScale * 96 / dpi
// Pixel height of a shared font as the Windows font mapper receives it: the points times the
// font scale, truncated, converted to pixels at dpiY with MulDiv rounding.
int SharedFontPixelHeight(float fontScale, int points, double logicalDpiY);

enum SharedFontIndex { kFont9 = 0, kFont10, kFont13, kFont17, kFont22, kSharedFontCount };
constexpr std::array<int, kSharedFontCount> kSharedFontPoints{9, 10, 13, 17, 22};

// Computes both scales from the screen that holds the window and (re)creates the shared fonts.
// Returns false (leaving every value as it was) when the window has no screen.
bool ComputeScalesAndFonts(const QWidget* window);
float LayoutScale();
float FontScale();
const QFont& SharedFont(SharedFontIndex index);
void ReleaseSharedFonts();  // in reverse order of creation, at exit

// A design value in scaled units as pixels (truncated).
inline int Scaled(double units) { return static_cast<int>(units * static_cast<double>(LayoutScale())); }

}  // namespace ravir
