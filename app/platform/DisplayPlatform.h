#pragma once
// Which of Qt's display platforms the program runs on. The skinned main window needs what only X11
// gives an application: placement at the toolbar's position, a shaped window and the stay-on-top
// hint. In a Wayland session that also offers X11 (XWayland) the program therefore runs on X11; the
// user's own QT_QPA_PLATFORM (or -platform) always wins, and without X11 it runs on Wayland itself.
#include <QByteArray>
#include <QList>

class DisplayPlatform {
public:
    // The argument list for the application object: `arguments` plus "-platform xcb" where X11 is
    // to be preferred. Passed as arguments, the choice does not leak into programs started later.
    static QList<QByteArray> ApplicationArguments(const QList<QByteArray>& arguments);
    // The choice for a given environment: true when X11 is to be preferred.
    static bool PreferX11(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                          const QByteArray& display, const QByteArray& sessionType);
};
