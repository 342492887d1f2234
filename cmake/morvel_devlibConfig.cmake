# find_package(morvel_devlib CONFIG), the package's name in 0.1: the package `morvel` under its
# old name, with the same targets.
include(${CMAKE_CURRENT_LIST_DIR}/../morvel/morvelConfig.cmake)
