// The manual page ufhost(1), written from the same option tables and exit
// statuses as --help, so that the two cannot disagree. The build writes it
// with tools/make_manual and installs it.
#pragma once

#include <string>

namespace ufhost::app {

// The whole page in the man macros of roff.
std::string manual_page();

}  // namespace ufhost::app
