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

protected:
    void paintEvent(QPaintEvent* event) override;
};
