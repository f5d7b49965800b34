#include "ufhost/kernel/version.h"

#include <Standard_Version.hxx>

namespace ufhost {

const char* kernel_version() { return OCC_VERSION_COMPLETE; }

}  // namespace ufhost
