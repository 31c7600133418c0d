#include "app/program.h"

// The command line is not read: the toolkit gets the program's name and nothing else.
int main(int /*argc*/, char** argv) {
  app::RunProgram(argv[0] != nullptr ? argv[0] : "zephlora");
}
