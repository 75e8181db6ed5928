#pragma once
// One local service per fuzz process, on a store in a temporary folder that goes when the process ends.
#include "tools/cloffa-service/LocalService.h"

#include <string>

namespace fuzz {

cloffa::LocalService& Service();
// The session header lines the transfer pages accept, each ending in CR LF.
std::string SessionHeaders();
// Removes what the last input stored and forgets its recorded requests.
void RestoreStore();
// The status number of the first answer in `output`; 0 when there is none.
int FirstStatus(const std::string& output);

} // namespace fuzz
