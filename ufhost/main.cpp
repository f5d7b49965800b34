// ufhost: the stand-in host. Everything is in ufhost/app.
#include "ufhost/app/cli.h"

int main(int argc, char** argv) { return ufhost::app::main(argc, argv); }
