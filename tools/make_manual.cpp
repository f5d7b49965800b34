// Writes the manual page ufhost(1) to the file named by its argument, from
// the option tables the program's --help is written from.
#include <fstream>
#include <iostream>

#include "ufhost/app/cli/manual.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_manual OUT.1\n";
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << ufhost::app::manual_page();
  out.close();
  if (!out) {
    std::cerr << "make_manual: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
