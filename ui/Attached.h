#pragma once
// What a window's creator attached to it (a child object of type T) to answer in the user's place:
// the nearest one among the children of `widget` and of its parents, or null for the real thing.
#include <QWidget>

template <typename T> T* FindAttached(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (T* found = w->findChild<T*>(QString(), Qt::FindDirectChildrenOnly))
            return found;
    }
    return nullptr;
}
