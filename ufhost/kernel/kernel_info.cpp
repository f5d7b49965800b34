#include "ufhost/kernel/kernel_info.h"

#include <Precision.hxx>
#include <Standard_Version.hxx>

namespace ufhost {

const char* kernel_version() { return OCC_VERSION_COMPLETE; }

double kernel_confusion() { return Precision::Confusion(); }

}  // namespace ufhost
