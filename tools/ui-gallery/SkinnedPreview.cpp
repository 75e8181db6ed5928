#include "tools/ui-gallery/SkinnedPreview.h"

#include "res/Skin.h"
#include "ui/controls/CImageButton.h"

#include <QPainter>

SkinnedPreview::SkinnedPreview(int skinId, QWidget* parent) : QWidget(parent) {
    const QImage image = Skin::LoadImage(skinId);
    m_skin = QPixmap::fromImage(image);
    setFixedSize(image.size());
    setMask(CImageButton::RegionFromBitmap(image, image.width()));
}

void SkinnedPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 0, 255));
    painter.drawPixmap(0, 0, m_skin);
}
