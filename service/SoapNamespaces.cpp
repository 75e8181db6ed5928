#include "service/gen/soapH.h"

// The runtime refers to a global namespace table; every context gets the deployment's table installed
// at run time instead, so this one stays empty.
SOAP_NMAC struct Namespace namespaces[] = {{nullptr, nullptr, nullptr, nullptr}};
