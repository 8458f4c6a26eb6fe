#include "widgets/color.h"

TColor ColorToRGB(TColor color) {
  if ((color & 0xFF000000) != clSystemColor) return color & 0x00FFFFFF;
  // Classic desktop values, so the looks do not depend on the desktop's theme.
  switch (color) {
    case clWindow:
    case clBtnHighlight:
      return 0xFFFFFF;
    case clBtnFace:
      return 0xF0F0F0;
    case clBtnShadow:
      return 0xA0A0A0;
    case clInfoBk:
      return 0xE1FFFF;
    case clWindowText:
    default:
      return 0x000000;
  }
}

QColor ColorToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

TColor QColorToColor(const QColor& color) {
  const QColor c = color.toRgb();
  return static_cast<TColor>(c.red()) | static_cast<TColor>(c.green()) << 8 |
         static_cast<TColor>(c.blue()) << 16;
}
