// The run sequence of zelp7x_flash: one pass from the command line to the exit status.
#pragma once

// The whole program; returns the exit status. Every failure of a step is reported here.
int run_zelp7x_flash(int argc, char **argv);
