// The tool's one way of turning a library or board I/O error into the end of the run.
#pragma once

// With a nonzero `status`, prints "<message> failed: <error name>" on standard output and exits
// the process with status 1; otherwise returns `status` (0).
int check_status(const char *message, int status);
