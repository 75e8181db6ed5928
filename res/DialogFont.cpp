#include "res/DialogFont.h"

#include "res/Strings.h"

void RegisterFontSubstitutions() {
    static const bool done = [] {
        QFont::insertSubstitutions(Strings::DialogFontFace,
                                   QStringList{QStringLiteral("NanumGothic"), QStringLiteral("NanumBarunGothic")});
        return true;
    }();
    (void)done;
}

QFont DialogFont() {
    RegisterFontSubstitutions();
    QFont font(Strings::DialogFontFace);
    font.setPixelSize(12); // 9 pt at the 96 dpi that dialog units are defined against
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}
