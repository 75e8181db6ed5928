#include "res/Skin.h"

#include "res/SkinIds.h"

#include <QFile>

static void InitSkinResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(quorvane_skin);
        return true;
    }();
    (void)done;
}

namespace Skin {

QString PathOf(int id) { return QStringLiteral(":/skin/%1.png").arg(id); }

QImage LoadImage(int id) {
    InitSkinResources();
    QImage image(PathOf(id));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
}

QPixmap LoadPixmap(int id) {
    const QImage image = LoadImage(id);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QBitmap OpaqueMask(const QImage& image) {
    return QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB32))
        .createMaskFromColor(QColor::fromRgb(kTransparentKey), Qt::MaskInColor);
}

QIcon AppIcon() {
    InitSkinResources();
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/skin/128-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon FallbackFileIcon() {
    InitSkinResources();
    return QIcon(QStringLiteral(":/skin/file-16.png"));
}

}  // namespace Skin
