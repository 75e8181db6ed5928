#include "ui/controls/CImageButton.h"

#include "res/Skin.h"

#include <QBitmap>
#include <QEvent>
#include <QPainter>
#include <QPen>

CImageButton::CImageButton(QWidget* parent) : QAbstractButton(parent) {
    // Reached with Tab and pressed with Space; a click leaves the keyboard focus where it was.
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
}

QRegion CImageButton::RegionFromBitmap(const QImage& bitmap, int width) {
    if (bitmap.isNull() || width <= 0)
        return {};
    return QRegion(Skin::OpaqueMask(bitmap.copy(0, 0, width, bitmap.height())));
}

bool CImageButton::LoadBitmap(int resourceId, bool withRegion) {
    return LoadBitmap(Skin::LoadImage(resourceId), withRegion, Skin::LoadArt(resourceId));
}

bool CImageButton::LoadBitmap(const QImage& bitmap, bool withRegion, const QImage& art) {
    if (bitmap.isNull() || bitmap.width() < 3)
        return false;
    m_bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
    m_width = m_bitmap.width() / 3;
    m_height = m_bitmap.height();
    resize(m_width, m_height);
    if (withRegion) {
        m_region = RegionFromBitmap(m_bitmap, m_width);
        setMask(m_region);
    }
    SetCurrentBitmap(art.isNull() ? m_bitmap : art);
    return true;
}

void CImageButton::SetCurrentBitmap(const QImage& bitmap) {
    const QImage strip = bitmap.convertToFormat(QImage::Format_RGB32);
    const int w = strip.width() / 3;
    for (int i = 0; i < 3; ++i) {
        QImage part = strip.copy(i * w, 0, w, strip.height());
        part.setDevicePixelRatio(bitmap.devicePixelRatio());
        QPixmap pixmap = QPixmap::fromImage(part);
        pixmap.setMask(Skin::OpaqueMask(part));
        m_current[i] = pixmap;
    }
    update();
}

CImageButton::State CImageButton::CurrentState() const {
    if (!isEnabled())
        return State::Normal;
    if (isDown())
        return State::Pressed;
    if (m_hover)
        return State::Hover;
    return State::Normal;
}

QSize CImageButton::sizeHint() const {
    return m_width > 0 ? QSize(m_width, m_height) : QSize(16, 16);
}

void CImageButton::paintEvent(QPaintEvent*) {
    const QPixmap& image = m_current[static_cast<int>(CurrentState())];
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(QRect(0, 0, m_width, m_height), image);
    if (hasFocus()) {
        // Visible on the light and the dark parts of the skin alike: dark dots over a light line.
        const QRect frame = rect().adjusted(1, 1, -2, -2);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(frame);
    }
}

void CImageButton::focusInEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusInEvent(event);
}

void CImageButton::focusOutEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusOutEvent(event);
}

void CImageButton::SetHover(bool hover) {
    m_tracking = hover;
    if (m_hover == hover)
        return;
    m_hover = hover;
    repaint();
}

void CImageButton::enterEvent(QEnterEvent* event) {
    SetHover(true);
    QAbstractButton::enterEvent(event);
}

void CImageButton::leaveEvent(QEvent* event) {
    SetHover(false);
    QAbstractButton::leaveEvent(event);
}

void CImageButton::mouseMoveEvent(QMouseEvent* event) {
    if (!m_tracking)
        SetHover(true); // an enter that came before the button was shown
    QAbstractButton::mouseMoveEvent(event);
}

void CImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}
