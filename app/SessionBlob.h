#pragma once
// The session text of the toolbar: Base64 of "key", NUL, "value", NUL, ... with values in UTF-8.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <map>

using SessionMap = std::map<QByteArray, QByteArray>;

// Decodes into `out` (capacity bytes, including the NUL written after the data). Characters outside
// the alphabet are skipped; NUL or "=" ends the input. Output that would not fit is cut.
// Returns the number of decoded bytes.
std::size_t Base64Decode(const QByteArray& text, char* out, std::size_t capacity);

// `length` is the decoded length the server announced; 0 leaves the map untouched.
void DecodeSessionBlob(qint32 length, const QByteArray& text, SessionMap& map);

// Absent: false and `out` unchanged.
bool GetSessionValue(const SessionMap& map, const QString& key, QString& out, bool utf8);
