// The command line help of zelp7x_flash.
#pragma once

// Prints the usage text on standard output.
void usage_cmd_line();
// The -h text, then the long options, for --help.
void usage_with_extensions();
