#pragma once
// The skin bitmaps and icons, drawn at build time and embedded as resources.
#include <QBitmap>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QString>

namespace Skin {
constexpr QRgb kTransparentKey = 0xFFFF00FF; // RGB(255, 0, 255) marks transparent pixels

QString PathOf(int id);   // ":/skin/<id>.png"
QImage LoadImage(int id); // the 1x bitmap: sizes, regions, masks; null when the id is unknown
// The art to paint: drawn at 2x (device pixel ratio 2) when a screen has more than one device pixel
// per point and the 2x drawing exists, else the 1x bitmap. Same logical size either way.
QImage LoadArt(int id);
QPixmap LoadPixmap(int id); // LoadArt as a pixmap; null when the id is unknown
qreal ArtScale();           // 2 on a HiDPI screen, else 1
// Set bits (color1) where the image is not the key colour: a widget mask or a QRegion source.
QBitmap OpaqueMask(const QImage& image);
QIcon AppIcon(); // icon 128 in all its sizes
// The colours of everything drawn over the skin: the skinned windows own them, so a dark desktop
// theme never puts light text on the skin's light surfaces.
QPalette Palette();
QIcon FallbackFileIcon(); // a plain document, for types the icon theme does not know
} // namespace Skin
