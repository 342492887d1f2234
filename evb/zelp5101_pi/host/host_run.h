// zelp7x_host: opens the board as zelp7x_flash does and runs one command on the chip.
#pragma once

// The whole program; returns the exit status: 0, 1 when the command or the board fails (named
// in a "COMMAND failed: NAME" line), 2 for a bad command line.
int run_zelp7x_host(int argc, char **argv);
