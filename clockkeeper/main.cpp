// clockkeeper: the privileged time service of Satclock.
#include "clockkeeper/command_line.h"

int main(int argc, char** argv) { return clockkeeper_main(argc, argv); }
