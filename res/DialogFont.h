#pragma once
#include <QFont>
#include <QStringList>

// The dialog font, "굴림" 9 pt at 96 dpi (12 device-independent pixels). The first call registers the
// substitution "굴림" -> NanumGothic, so the Korean texts render on a system without the Windows font.
QFont DialogFont();
void RegisterFontSubstitutions();
