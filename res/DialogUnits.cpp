#include "res/DialogUnits.h"

#include "res/DialogFont.h"

#include <QFontMetricsF>
#include <QtMath>

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_avgWidth = (qRound(width) + 26) / 52;
    // The cell height of the face the templates were drawn for, which has no internal leading, is its
    // em height; the substitute's taller ascent would push every layout off its skin.
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF() * 96.0 / 72.0);
    m_height = pixels > 0 ? pixels : qCeil(metrics.height());
}

const DialogUnits& DialogUnits::ForDialogFont() {
    static const DialogUnits units(DialogFont());
    return units;
}

int DialogUnits::MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return 0;
    const qint64 product = qint64(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const qint64 a = product < 0 ? -product : product;
    const qint64 d = denominator < 0 ? -qint64(denominator) : denominator;
    const qint64 q = (a + d / 2) / d;
    return int(negative ? -q : q);
}

int DialogUnits::x(int du) const {
    return MulDiv(du, m_avgWidth, 4);
}
int DialogUnits::y(int du) const {
    return MulDiv(du, m_height, 8);
}
