#pragma once

// velmora-cli as a whole: the locale and time zone set up, the command line
// parsed and run; returns the exit status.
int RunCli(int argc, char** argv);
