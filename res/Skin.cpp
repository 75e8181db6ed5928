#include "res/Skin.h"

#include "res/SkinIds.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

static void InitSkinResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(quorvane_skin);
        return true;
    }();
    (void)done;
}

namespace Skin {

QString PathOf(int id) {
    return QStringLiteral(":/skin/%1.png").arg(id);
}

QImage LoadImage(int id) {
    InitSkinResources();
    QImage image(PathOf(id));
    if (image.isNull())
        return image;
    image = image.convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(1.0);
    return image;
}

qreal ArtScale() {
    qreal ratio = 1.0;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        for (const QScreen* screen : screens)
            ratio = qMax(ratio, screen->devicePixelRatio());
    }
    // 1.5 takes the 2x drawing too: scaling finer art down blurs less than scaling coarse art up.
    return ratio > 1.0 ? 2.0 : 1.0;
}

QImage LoadArt(int id) {
    if (ArtScale() > 1.0) {
        InitSkinResources();
        QImage image(QStringLiteral(":/skin/%1@2x.png").arg(id));
        if (!image.isNull()) {
            image = image.convertToFormat(QImage::Format_RGB32);
            image.setDevicePixelRatio(2.0);
            return image;
        }
    }
    return LoadImage(id);
}

QPixmap LoadPixmap(int id) {
    const QImage image = LoadArt(id);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QBitmap OpaqueMask(const QImage& image) {
    QBitmap mask = QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB32))
                       .createMaskFromColor(QColor::fromRgb(kTransparentKey), Qt::MaskInColor);
    mask.setDevicePixelRatio(image.devicePixelRatio());
    return mask;
}

QPalette Palette() {
    const QColor text(0x10, 0x1c, 0x2c);
    const QColor surface(0xe9, 0xf0, 0xf9);
    QPalette palette(text, surface, QColor(0xff, 0xff, 0xff), QColor(0x9f, 0xb6, 0xd3), QColor(0xc3, 0xd2, 0xe4),
                     text, Qt::white, Qt::white, surface);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, QColor(0x3d, 0x86, 0xdb));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::PlaceholderText, QColor(0x6b, 0x77, 0x85));
        palette.setColor(group, QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
        palette.setColor(group, QPalette::ToolTipText, Qt::black);
    }
    const QColor disabled(0x6b, 0x77, 0x85);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
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

} // namespace Skin
