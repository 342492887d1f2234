#include "host_run.h"

int main(int argc, char **argv) {
    return run_zelp7x_host(argc, argv);
}
