#include "ui/controls/CTransparentLabel.h"

#include <QPainter>
#include <QStyle>

CTransparentLabel::CTransparentLabel(QWidget* parent) : CTransparentLabel(QString(), parent) {}

CTransparentLabel::CTransparentLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAttribute(Qt::WA_NoSystemBackground, true);
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QFont CTransparentLabel::FittingFont(const QFont& font, const QString& text, int width) {
    // Half-point steps down to three quarters of the size: smaller text stays crisp and whole.
    QFont f = font;
    const bool points = font.pointSizeF() > 0;
    const qreal size = points ? font.pointSizeF() : qreal(font.pixelSize());
    for (qreal s = size; s >= size * 0.75; s -= 0.5) {
        if (points)
            f.setPointSizeF(s);
        else
            f.setPixelSize(qMax(1, qRound(s)));
        if (QFontMetrics(f).horizontalAdvance(text) <= width)
            return f;
    }
    return f;
}

void CTransparentLabel::SetText(const QString& text) {
    if (QWidget* parent = parentWidget(); parent && isVisible())
        parent->repaint(geometry());
    setText(text);
    repaint();
}

void CTransparentLabel::paintEvent(QPaintEvent*) {
    // Lines are stepped by the font's em height when the taller substitute face would not fit,
    // as the templates were laid out for a face without leading.
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QFontMetrics metrics(font());
    const QRect area = contentsRect();
    const int flags = int(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    const QRect needed = metrics.boundingRect(area, flags, text());
    if (!text().contains(QLatin1Char('\n')) && metrics.horizontalAdvance(text()) > area.width() &&
        area.width() > 0) {
        // The substitute face runs wider than the original. A short value steps down to a smaller size
        // of the same face, never squeezed; what still does not fit (a long name) ends in "…".
        QFont smaller = font();
        if (m_elide == Qt::ElideNone)
            smaller = FittingFont(font(), text(), area.width());
        painter.setFont(smaller);
        const QString shown = QFontMetrics(smaller).elidedText(
            text(), m_elide == Qt::ElideNone ? Qt::ElideRight : m_elide, area.width());
        painter.drawText(area, int(alignment()), shown);
        return;
    }
    if (needed.height() <= area.height() || !text().contains(QLatin1Char('\n'))) {
        painter.drawText(area, flags, text());
        return;
    }
    const QStringList lines = text().split(QLatin1Char('\n'));
    const int step = qMax(1, qMin(metrics.height(), area.height() / int(lines.size())));
    int y = area.top() + (area.height() - step * int(lines.size())) / 2;
    for (const QString& line : lines) {
        painter.drawText(QRect(area.left(), y + (step - metrics.height()) / 2, area.width(), metrics.height()),
                         int(alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter, line);
        y += step;
    }
}
