#pragma once
// The skin bitmaps and icons, drawn at build time and embedded as resources.
#include <QBitmap>
#include <QIcon>
#include <QImage>
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
QIcon FallbackFileIcon();        // a plain document, for types the icon theme does not know
}  // namespace Skin
