#include "res/Strings.h"

namespace Strings {

const std::vector<std::pair<QString, QString>>& All() {
#define QUORVANE_LIST_STRING(name, text) {QStringLiteral(#name), name},
    static const std::vector<std::pair<QString, QString>> all = {QUORVANE_STRING_TABLE(QUORVANE_LIST_STRING)};
#undef QUORVANE_LIST_STRING
    return all;
}

} // namespace Strings
