// zelp7x_gang: the zelp7x_flash run on many boards at once, each in a thread of its own.
#pragma once

// The whole program; returns the exit status: 0 when every board passed, 1 when any failed (or
// the job could not start), 2 for a usage error.
int run_zelp7x_gang(int argc, char **argv);
