#include "app/platform/DisplayPlatform.h"

#include <QtGlobal>

bool DisplayPlatform::PreferX11(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                                const QByteArray& display, const QByteArray& sessionType) {
    if (!qpaPlatform.isEmpty() || display.isEmpty())
        return false; // the user chose, or there is no X11 to prefer
    return !waylandDisplay.isEmpty() || sessionType == "wayland";
}

QList<QByteArray> DisplayPlatform::ApplicationArguments(const QList<QByteArray>& arguments) {
    QList<QByteArray> out = arguments;
    for (const QByteArray& argument : arguments) {
        if (argument == "-platform" || argument == "--platform")
            return out;
    }
    if (PreferX11(qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"),
                  qgetenv("XDG_SESSION_TYPE")))
        out << QByteArrayLiteral("-platform") << QByteArrayLiteral("xcb");
    return out;
}
