// ufhost: the stand-in host. The program is the application library's main.
#include "ufhost/app/cli/cli.h"

int main(int argc, char** argv) { return ufhost::app::main(argc, argv); }
