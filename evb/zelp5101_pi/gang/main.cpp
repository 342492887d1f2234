#include "gang_run.h"

int main(int argc, char **argv) {
    return run_zelp7x_gang(argc, argv);
}
