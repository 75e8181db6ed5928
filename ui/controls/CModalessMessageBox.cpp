#include "ui/controls/CModalessMessageBox.h"

#include "res/DialogTemplates.h"
#include "res/DialogUnits.h"
#include "res/Skin.h"
#include "res/Strings.h"
#include "ui/DialogBuilder.h"
#include "ui/controls/CTransparentLabel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

CModalessMessageBox::CModalessMessageBox(QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setPalette(Skin::Palette());
    const BuiltDialog built = DialogBuilder::Build(this, DialogTemplates::Get(DialogTemplates::WaitBox));
    m_label = built.get<CTransparentLabel>(1056);
    m_label->setAlignment(Qt::AlignCenter);
    m_text = Strings::WaitBoxPlaceholder;
    m_label->setText(m_text);
    RebuildShape();
    // Opacity where the platform composes windows; elsewhere the box is simply opaque.
    setWindowOpacity(kOpacity / 255.0);
}

void CModalessMessageBox::SetMessageText(const QString& text) {
    m_text = text;
    if (m_label)
        m_label->SetText(text);
}

void CModalessMessageBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(170, 170, 170));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(rect().adjusted(1, 1, -1, -1), 1, 1);
}

void CModalessMessageBox::RebuildShape() {
    // Rounded rectangle with 2 x 2 corner ellipses: only the corner pixels are cut.
    const QRect r = rect();
    QRegion region(r);
    for (const QPoint& corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
        region -= QRegion(corner.x(), corner.y(), 1, 1);
    setMask(region);
}

void CModalessMessageBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    RebuildShape();
}
