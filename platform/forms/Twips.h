#pragma once

#include <QRect>

#include <cmath>

namespace pelmora::platform {

// Window layouts are given in twips: 1/1440 inch, so 15 twips make one pixel at 96 dots per inch.
// Qt's device-independent pixels are such 96-dpi pixels, and Qt scales them on HiDPI screens.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    // Round to the nearest pixel, halves away from zero, for negative offsets too.
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// A control's rectangle from its left, top, width and height in twips.
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace pelmora::platform
