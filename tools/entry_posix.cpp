// POSIX entry point: the arguments are the file-system's bytes (UTF-8).
#include "main.h"

int main(int argc, char** argv) { return dztool::Main(std::vector<std::string>(argv + 1, argv + argc)); }
