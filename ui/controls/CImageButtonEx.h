#pragma once
// An image button with a second bitmap the owner can swap in (the always-on-top toggle).
#include "ui/controls/CImageButton.h"

class CImageButtonEx : public CImageButton {
    Q_OBJECT
public:
    explicit CImageButtonEx(QWidget* parent = nullptr);

    // Loads both bitmaps; size and region come from the first, which becomes current.
    bool LoadBitmaps(int firstId, int secondId);
    bool LoadBitmaps(const QImage& first, const QImage& second);
    void ShowSecond(bool second); // swaps the drawn bitmap and repaints at once
    bool IsSecondShown() const { return m_secondShown; }
    int FirstId() const { return m_firstId; }
    int SecondId() const { return m_secondId; }

private:
    QImage m_first;
    QImage m_second;
    int m_firstId = 0;
    int m_secondId = 0;
    bool m_secondShown = false;
};
