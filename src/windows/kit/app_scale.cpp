#include "windows/kit/app_scale.h"

#include "shell/ui_text.h"

#include <QFontDatabase>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <optional>

namespace ravir {
namespace {
float g_layoutScale = 0.0f;
float g_fontScale = 0.0f;
std::array<std::optional<QFont>, kSharedFontCount> g_fonts;

int mulDiv(int a, int b, int c)
{
    // Windows MulDiv: a * b / c rounded half away from zero, with a 64-bit intermediate.
    if (c == 0)
        return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c > 0 ? c : -c) / 2;
    const long long rounded = product >= 0 ? product + half : product - half;
    return static_cast<int>(rounded / c);
}
}  // namespace

float LayoutScaleFor(int workAreaHeight)
{
    return static_cast<float>(workAreaHeight) / 48.0f / 22.0f;
}

float FontScaleFor(float layoutScale, double logicalDpiX)
{
    if (logicalDpiX <= 0)
        return 0.0f;
    return layoutScale * 96.0f / static_cast<float>(logicalDpiX);
}

int SharedFontPixelHeight(float fontScale, int points, double logicalDpiY)
{
    const int scaledPoints = static_cast<int>(fontScale * static_cast<float>(points));
    return mulDiv(scaledPoints, static_cast<int>(std::lround(logicalDpiY)), 72);
}

bool ComputeScalesAndFonts(const QWidget* window)
{
    const QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        return false;
    g_layoutScale = LayoutScaleFor(screen->availableGeometry().height());
    g_fontScale = FontScaleFor(g_layoutScale, screen->logicalDotsPerInchX());
    if (g_fontScale > 0.0f) {
        ReleaseSharedFonts();
        // English texts use the desktop's UI font; the table's faces follow it.
        QStringList families = uiFontFamilies();
        if (uiTextRow() == 1)
            families.prepend(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
        for (int i = 0; i < kSharedFontCount; ++i) {
            QFont font;
            font.setFamilies(families);
            font.setWeight(QFont::Normal);
            font.setPixelSize(std::max(1, SharedFontPixelHeight(
                g_fontScale, kSharedFontPoints[static_cast<size_t>(i)],
                screen->logicalDotsPerInchY())));
            g_fonts[static_cast<size_t>(i)] = font;
        }
    }
    return true;
}

float LayoutScale() { return g_layoutScale; }
float FontScale() { return g_fontScale; }

const QFont& SharedFont(SharedFontIndex index)
{
    static const QFont fallback;
    const auto& font = g_fonts[static_cast<size_t>(index)];
    return font ? *font : fallback;
}

void ReleaseSharedFonts()
{
    for (int i = kSharedFontCount - 1; i >= 0; --i)
        g_fonts[static_cast<size_t>(i)].reset();
}

}  // namespace ravir
