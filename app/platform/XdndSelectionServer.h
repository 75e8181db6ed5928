#pragma once
// Serves the file list of a running drag-out to drop targets that ask for it outside the drag's own
// bookkeeping: GTK 4 (GNOME Files) asks for XdndSelection at CurrentTime from a hidden window of its
// own, which the toolkit's X11 drag source refuses, so nothing would be copied. Requests the toolkit
// answers itself (a real time stamp, other formats) pass through untouched. Does nothing off X11.
#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <cstdint>

class XdndSelectionServer : public QAbstractNativeEventFilter {
public:
    XdndSelectionServer() = default;
    ~XdndSelectionServer() override;
    XdndSelectionServer(const XdndSelectionServer&) = delete;
    XdndSelectionServer& operator=(const XdndSelectionServer&) = delete;

    // Starts serving `uriList` ("file:///...\r\n" lines), or replaces what is served.
    void Serve(const QByteArray& uriList);
    void Withdraw();
    bool Serving() const { return m_installed; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    bool Connect();

    void* m_connection = nullptr; // xcb_connection_t, owned by the toolkit
    std::uint32_t m_selection = 0;
    std::uint32_t m_uriList = 0;
    std::uint32_t m_targets = 0;
    QByteArray m_data;
    bool m_installed = false;
};
