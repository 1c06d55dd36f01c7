// velmora-cli for the end-to-end tests: the same program, with the test hooks
// armed (VELMORA_FORCE_LINK, VELMORA_CRASH_AT).

#include "cli_main.h"

int main(int argc, char** argv) {
    return RunCli(argc, argv);
}
