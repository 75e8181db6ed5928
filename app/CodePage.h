#pragma once
// The "ANSI code page" of the texts that are hashed or encrypted: CP949, through iconv.
#include <QByteArray>
#include <QString>

// Unmappable characters become "?".
QByteArray ToAnsi(const QString& text);
QString FromAnsi(const QByteArray& bytes);
