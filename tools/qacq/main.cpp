// qacq: the acquisition module's main job from a shell.  The commands live in
// qacq_core (cli.cpp and its neighbours); this file only picks the terminal.
// (Run from the build tree, the library finds the drivers built beside it.)
#include <iostream>

#include <unistd.h>

#include "qacq.h"

int main(int argc, char** argv) {
  return qacq::run(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
