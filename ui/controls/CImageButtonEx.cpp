#include "ui/controls/CImageButtonEx.h"

#include "res/Skin.h"

CImageButtonEx::CImageButtonEx(QWidget* parent) : CImageButton(parent) {}

bool CImageButtonEx::LoadBitmaps(int firstId, int secondId) {
    const QImage second = Skin::LoadImage(secondId);
    if (second.isNull() || !LoadBitmap(Skin::LoadImage(firstId), true, Skin::LoadArt(firstId)))
        return false;
    m_first = Skin::LoadArt(firstId);
    m_second = Skin::LoadArt(secondId);
    m_secondShown = false;
    m_firstId = firstId;
    m_secondId = secondId;
    return true;
}

bool CImageButtonEx::LoadBitmaps(const QImage& first, const QImage& second) {
    if (first.isNull() || second.isNull() || !LoadBitmap(first, true))
        return false;
    m_first = first;
    m_second = second;
    m_secondShown = false;
    return true;
}

void CImageButtonEx::ShowSecond(bool second) {
    if (m_first.isNull())
        return;
    m_secondShown = second;
    SetCurrentBitmap(second ? m_second : m_first);
    repaint();
}
