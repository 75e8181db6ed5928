#pragma once
// Builds a widget's children from a dialog template: every control at its rectangle converted from
// dialog units, with the dialog font. Windows build their own behaviour on the returned widgets.
#include "res/DialogTemplate.h"

#include <QHash>
#include <QWidget>

#include <vector>

class DialogUnits;

struct BuiltDialog {
    QHash<int, QWidget*> byId; // controls with an id
    std::vector<QWidget*> all; // every control, in template order

    template <typename T> T* get(int id) const { return qobject_cast<T*>(byId.value(id)); }
};

class DialogBuilder {
public:
    // Sets the host's font, fixed size (unless it is a skinned window with its own size) and title,
    // then creates the controls. `resize` false keeps the host's current size.
    static BuiltDialog Build(QWidget* host, const DialogTemplate& dialog, bool resize = true);
    static BuiltDialog Build(QWidget* host, const DialogTemplate& dialog, const DialogUnits& units, bool resize);

    static QWidget* CreateControl(QWidget* host, const ControlTemplate& control, const DialogUnits& units);
};
