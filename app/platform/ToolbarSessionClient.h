#pragma once
// The toolbar's session server on the session bus.
#include <QString>

#include <chrono>

inline constexpr char kToolbarSessionService[] = "org.brellow.TaviRun.SessionServer";
inline constexpr char kToolbarSessionPath[] = "/ToolbarSessionServer";
inline constexpr char kToolbarSessionInterface[] = "org.brellow.TaviRun.ToolbarSessionServer";

class ToolbarSessionClient {
public:
    explicit ToolbarSessionClient(std::chrono::milliseconds timeout = std::chrono::milliseconds(4000));

    // GetSessionBlob() -> (s blob, i length). False on an error reply, no service or a time-out.
    bool GetSessionBlob(QString& blob, qint32& length) const;

private:
    std::chrono::milliseconds m_timeout;
};
