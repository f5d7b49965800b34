// Which geometry kernel the host runs on, for --version and reports.
#pragma once

namespace ufhost {

// The kernel's version as its headers give it, such as "7.6.3".
const char* kernel_version();

}  // namespace ufhost
