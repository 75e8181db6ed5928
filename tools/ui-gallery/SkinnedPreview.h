#pragma once
// A window surface painted with a skin bitmap and shaped by its non-transparent pixels.
#include <QPixmap>
#include <QWidget>

class SkinnedPreview : public QWidget {
    Q_OBJECT
public:
    explicit SkinnedPreview(int skinId, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_skin;
};
