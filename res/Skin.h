#pragma once
// The skin bitmaps and icons, drawn at build time and embedded as resources.
#include <QBitmap>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QString>

namespace Skin {
constexpr QRgb kTransparentKey = 0xFFFF00FF;  // RGB(255, 0, 255) marks transparent pixels

QString PathOf(int id);          // ":/skin/<id>.png"
QImage LoadImage(int id);        // null when the id is unknown
QPixmap LoadPixmap(int id);      // null when the id is unknown
// Set bits (color1) where the image is not the key colour: a widget mask or a QRegion source.
QBitmap OpaqueMask(const QImage& image);
QIcon AppIcon();                 // icon 128 in all its sizes
// The colours of everything drawn over the skin: the skinned windows own them, so a dark desktop
// theme never puts light text on the skin's light surfaces.
QPalette Palette();
QIcon FallbackFileIcon();        // a plain document, for types the icon theme does not know
}  // namespace Skin
