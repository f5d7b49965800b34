// The plug-in's face towards the host: one run of the main menu per call.
#include "src/Zarvel_06.h"

#include "host/checked.h"
#include "host/uf.h"
#include "src/Main.h"

static const char kSourceName[] = UF_SOURCE_NAME("Zarvel_06");

void ufusr(char* /*param*/, int* /*retcode*/, int /*param_len*/) {
  // The host cannot handle a C++ exception: whatever escapes a command ends
  // the run here, and the interface is still closed.
  // clang-format off
  if (CHECKED(UF_initialize()) != 0) return;
  // clang-format on
  try {
    main_menu();
  } catch (...) {
  }
  UF_terminate();
}

int ufusr_ask_unload(void) { return 1; }
