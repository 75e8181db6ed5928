#pragma once
// Dialog units to pixels, as the Windows dialog manager does it: the base units are the dialog font's
// average character width (of the 52 Latin letters, rounded) and its height; x = MulDiv(x, w, 4),
// y = MulDiv(y, h, 8). Results are device-independent pixels; Qt scales them on HiDPI screens.
#include <QFont>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int avgCharWidth, int charHeight) : m_avgWidth(avgCharWidth), m_height(charHeight) {}
    static const DialogUnits& ForDialogFont(); // for DialogFont(), computed once

    int avgCharWidth() const { return m_avgWidth; }
    int charHeight() const { return m_height; }

    int x(int du) const;
    int y(int du) const;
    QPoint point(const QPoint& du) const { return {x(du.x()), y(du.y())}; }
    QSize size(const QSize& du) const { return {x(du.width()), y(du.height())}; }
    QRect rect(const QRect& du) const { return {point(du.topLeft()), size(du.size())}; }

    static int MulDiv(int number, int numerator, int denominator); // rounded to nearest, 0 on /0

private:
    int m_avgWidth;
    int m_height;
};
