#pragma once
// A static text drawn over its parent's skin: it never paints a background, and a text change first
// repaints the parent under it, so a shorter text leaves nothing of the old one behind.
#include <QLabel>

class CTransparentLabel : public QLabel {
    Q_OBJECT
public:
    explicit CTransparentLabel(QWidget* parent = nullptr);
    explicit CTransparentLabel(const QString& text, QWidget* parent = nullptr);

    void SetText(const QString& text);
    // A single line too wide for the label: ElideNone (the default) steps the font down first; any
    // other mode elides at once (names, where the whole text matters less than its ends).
    void SetElideMode(Qt::TextElideMode mode) {
        m_elide = mode;
        update();
    }
    // The largest half-point step of `font`, down to three quarters of its size, that fits `width`.
    static QFont FittingFont(const QFont& font, const QString& text, int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode m_elide = Qt::ElideNone;
};
