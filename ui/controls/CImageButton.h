#pragma once
// A push button drawn from a bitmap holding three state images side by side (normal, hover, pressed),
// with RGB(255, 0, 255) transparent and an optional widget mask cut from the first image.
#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QRegion>

class CImageButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class State { Normal = 0, Hover = 1, Pressed = 2 };

    explicit CImageButton(QWidget* parent = nullptr);

    // Loads skin bitmap `resourceId`, resizes the button to one third of its width and its full height
    // (keeping the position) and, with `withRegion`, masks the button to the non-transparent pixels.
    bool LoadBitmap(int resourceId, bool withRegion);
    // `art` is what is painted (a finer drawing for HiDPI screens, with its device pixel ratio); null
    // paints `bitmap` itself. Size and region always come from `bitmap`.
    bool LoadBitmap(const QImage& bitmap, bool withRegion, const QImage& art = QImage());

    State CurrentState() const; // the image the next paint uses
    bool IsHovered() const { return m_hover; }
    bool IsTracking() const { return m_tracking; }
    QRegion ButtonRegion() const { return m_region; }
    QSize BitmapSize() const { return {m_width, m_height}; }

    // The region of the non-transparent pixels of the first `width` columns, built from a mask.
    static QRegion RegionFromBitmap(const QImage& bitmap, int width);

    QSize sizeHint() const override;

protected:
    void SetCurrentBitmap(const QImage& bitmap); // the strip that is drawn
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void SetHover(bool hover);

    QImage m_bitmap;
    QRegion m_region;
    bool m_tracking = false;
    bool m_hover = false;
    QPixmap m_current[3]; // the current strip cut into its state images, the key colour masked out
    int m_width = 0;
    int m_height = 0;
};
