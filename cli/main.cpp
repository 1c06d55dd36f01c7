// velmora-cli: the reading and renaming engine from a terminal.

#include "cli_main.h"

int main(int argc, char** argv) {
    return RunCli(argc, argv);
}
