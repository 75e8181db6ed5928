#pragma once
// The command line the toolbar starts the program with: "/start" <launch token> <left> <top>.
#include <QString>
#include <QStringList>

constexpr int kMaxCommandLine = 260; // characters including the terminator
constexpr int kDefaultLeft = 200;
constexpr int kDefaultTop = 200;

struct LaunchArguments {
    bool proceed = false;  // false: end start-up without a window
    bool hasToken = false; // "/start" with its three values was given
    QString token;
    qint32 left = kDefaultLeft;
    qint32 top = kDefaultTop;
};

// `fullCommandLine` is the program path and its arguments joined by single blanks; the arguments are
// found after the first "Quorvane.exe" in it (position 12 when there is none).
LaunchArguments ParseLaunchCommandLine(const QString& fullCommandLine);
// The process's own arguments, program path first. Started as "Quorvane.exe" the rule above applies;
// under any other program name (the installed "quorvane") the arguments are those after the path.
LaunchArguments ParseLaunchArguments(const QStringList& arguments);
// Files a file manager sends (`quorvane <files…>`: plain paths or file:// URIs), as absolute local
// paths; empty when the arguments are not that (the toolbar's "/start" and anything else keep the rules
// above). Relative paths count only when they name something in the current folder.
QStringList SentFiles(const QStringList& arguments);
// As the C library's wide-string-to-long conversion, clamped to 32 bits: blanks, sign, digits.
qint32 ParseLeadingInt(const QString& text);
