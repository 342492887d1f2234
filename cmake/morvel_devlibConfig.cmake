# find_package(morvel_devlib CONFIG), the package's earlier name: the package `morvel` under its
# old name, with the same targets.
include(${CMAKE_CURRENT_LIST_DIR}/../morvel/morvelConfig.cmake)
