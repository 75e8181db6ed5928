#include "app/platform/XdndSelectionServer.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t Intern(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace

XdndSelectionServer::~XdndSelectionServer() {
    Withdraw();
}

bool XdndSelectionServer::Connect() {
    if (m_connection)
        return true;
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    m_selection = Intern(connection, "XdndSelection");
    m_uriList = Intern(connection, "text/uri-list");
    m_targets = Intern(connection, "TARGETS");
    if (m_selection == XCB_ATOM_NONE || m_uriList == XCB_ATOM_NONE || m_targets == XCB_ATOM_NONE)
        return false;
    m_connection = connection;
    return true;
}

void XdndSelectionServer::Serve(const QByteArray& uriList) {
    m_data = uriList;
    if (m_installed || !Connect())
        return;
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_installed = true;
}

void XdndSelectionServer::Withdraw() {
    m_data.clear();
    if (!m_installed)
        return;
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    m_installed = false;
}

bool XdndSelectionServer::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!m_installed || eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
    // A request stamped with the drag's or the drop's time is the toolkit's own business.
    if (request->selection != m_selection || request->time != XCB_CURRENT_TIME ||
        (request->target != m_uriList && request->target != m_targets))
        return false;
    auto* connection = static_cast<xcb_connection_t*>(m_connection);
    // Obsolete clients name no property: the target's name is used instead.
    const xcb_atom_t property = request->property != XCB_ATOM_NONE ? request->property : request->target;
    if (request->target == m_targets) {
        const xcb_atom_t offered[] = {m_targets, m_uriList};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32, 2,
                            offered);
    } else {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, m_uriList, 8,
                            static_cast<std::uint32_t>(m_data.size()), m_data.constData());
    }
    xcb_selection_notify_event_t notify;
    std::memset(&notify, 0, sizeof notify);
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    // The server reads a whole 32-byte event from the buffer.
    char wire[32] = {};
    static_assert(sizeof notify <= sizeof wire);
    std::memcpy(wire, &notify, sizeof notify);
    xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, wire);
    xcb_flush(connection);
    return true;
}
