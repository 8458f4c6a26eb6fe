// Colours as the console stores them: 0x00BBGGRR. Values with the top byte 0xFF name a system
// colour (button face, tooltip background, ...) resolved to a fixed RGB value.
#pragma once
#include <QColor>
#include <cstdint>

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clWhite = 0xFFFFFF;
// No colour: nothing is drawn.
inline constexpr TColor clNone = 0x1FFFFFFF;
// The frame of a flat control under the mouse: RGB F0 9B 14.
inline constexpr TColor clFlatHot = 0x149BF0;

inline constexpr TColor clSystemColor = 0xFF000000;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor clInfoBk = clSystemColor | 24;

// The RGB value a colour stands for; system colours resolve to fixed values.
TColor ColorToRGB(TColor color);
QColor ColorToQColor(TColor color);
// Back to 0x00BBGGRR; alpha is dropped.
TColor QColorToColor(const QColor& color);
