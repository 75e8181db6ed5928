#pragma once
// Dialog templates as data: each control's id, kind, text, rectangle in dialog units and the style
// flags that change how it is built.
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

enum class ControlKind { Label, Button, DefaultButton, Edit, CheckBox, ProgressBar, EtchedLine, Icon, ListView };

namespace ControlFlag {
enum : unsigned {
    None = 0,
    AlignRight = 1u << 0,
    Hidden = 1u << 1,
    TransparentLabel = 1u << 2, // a CTransparentLabel over a skin
    ImageButton = 1u << 3,      // a CImageButton drawn from `resourceId`
    ImageButtonEx = 1u << 4,    // a CImageButtonEx (two bitmaps: resourceId, resourceId2)
    HScroll = 1u << 5,          // edit scrolls horizontally
    OwnerData = 1u << 6,        // virtual list view
};
}

namespace DialogFlag {
enum : unsigned {
    None = 0,
    Child = 1u << 0,
    Popup = 1u << 1,
    NoCaption = 1u << 2,
    TopMost = 1u << 3,
    AppWindow = 1u << 4,
};
}

struct ControlTemplate {
    int id = -1; // -1 = a static without an id
    ControlKind kind = ControlKind::Label;
    QString text;
    QRect rect; // dialog units
    unsigned flags = ControlFlag::None;
    int resourceId = 0;
    int resourceId2 = 0;
};

struct DialogTemplate {
    int id = 0;
    QString title;
    QSize size; // dialog units
    unsigned flags = DialogFlag::None;
    std::vector<ControlTemplate> controls;

    const ControlTemplate* control(int controlId) const;
};
