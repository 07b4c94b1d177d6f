#pragma once

#include <QRect>

// Window layouts are given in twips (1/1440 inch): 15 twips are one pixel at 96 dpi.
// Qt scales these device-independent pixels for screens of other densities.
constexpr int Twips(int twips) { return twips / 15; }

constexpr QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}
