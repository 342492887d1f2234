# The Windows build's tests: the portable suites worth a second run on Windows and the Windows
# backend's own, each program run whole under wine (one CTest test per program keeps it to one
# wine start each), plus the tool run end to end against a simulated board behind a COM port.

# Suites where Windows differs: the wire core over the Windows locks and where its lines go, the
# line reader, the simulated board's mapped flash file, option parsing with the MinGW getopt,
# timers, binary files, the package reader and the driver where long is 32 bits, and a whole tool
# run checked packet by packet.
set(ZELP_WINE_SUITES
    io_commands_test io_transfer_test io_getline_test io_sim_port_test sim_flash_test
    tool_options_test tool_elapsed_test tool_image_file_test tool_wire_trace_test
    pkg_reader_test pkg_records_test devlib_access_test devlib_clock_test devlib_config_test
    devlib_frame_test devlib_frontend_test devlib_mailbox_test devlib_reset_test
    devlib_posterior_test devlib_load_test devlib_results_test io_rfc2217_test io_report_test)
list(JOIN ZELP_WINE_SUITES "|" suites)
list(FILTER TEST_SOURCES INCLUDE REGEX "/(${suites})\\.cpp$")
file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
list(APPEND TEST_SOURCES ${WIN32_TEST_SOURCES})
# Child processes, pseudo-terminals and sysfs are POSIX; the CTest runs below take their place.
list(FILTER SUPPORT_SOURCES EXCLUDE REGEX "/(board_sim_process|tool_process|ser2net_process|fake_sysfs|run_as)\\.cpp$")

find_program(ZELP_WINESERVER wineserver REQUIRED)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "The Windows tests run under wine: install wine (Debian: wine, wine64)")
endif()

# A private wine prefix, so test runs never touch the user's own.
set(ZELP_WINE_STATE ${CMAKE_BINARY_DIR}/wine-run)
set(ZELP_WINE_ENV WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all)

# The simulated board is the native daemon: wine's COM7 is a link to its pseudo-terminal. The dev
# workflow's daemon is used when there is one; otherwise one is built here with the native
# compilers. ser2net_front, which puts Debian's ser2net in front of a board for the network runs,
# comes from the same native build.
set(dev_board_sim ${PROJECT_SOURCE_DIR}/build/dev/bin/zelp7x_board_sim)
if(EXISTS ${dev_board_sim})
  set(default_board_sim ${dev_board_sim})
endif()
set(ZELP_NATIVE_BOARD_SIM "${default_board_sim}" CACHE FILEPATH
    "Native zelp7x_board_sim for the tests under wine; empty: build one")
if(ZELP_NATIVE_BOARD_SIM)
  set(board_sim ${ZELP_NATIVE_BOARD_SIM})
else()
  include(ExternalProject)
  set(board_sim ${CMAKE_BINARY_DIR}/native/bin/zelp7x_board_sim)
  ExternalProject_Add(native_board_sim
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/native
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZELP_BUILD_TESTS=ON -DZELP_BUILD_PYTHON=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target zelp7x_board_sim ser2net_front
    BUILD_BYPRODUCTS ${board_sim}
    INSTALL_COMMAND "")
endif()
get_filename_component(native_bin ${board_sim} DIRECTORY)

set(session ${CMAKE_CURRENT_LIST_DIR}/wine_session.sh)
add_test(NAME wine_session_start COMMAND sh ${session} start ${board_sim} ${ZELP_WINE_STATE})
add_test(NAME wine_session_stop COMMAND sh ${session} stop ${ZELP_WINE_STATE})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)
set_tests_properties(wine_session_start wine_session_stop PROPERTIES ENVIRONMENT "${ZELP_WINE_ENV}")

function(zelp_add_wine_test name)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${ZELP_WINE_ENV}"
                       TIMEOUT 120 WORKING_DIRECTORY ${ZELP_WINE_STATE})
  if(name MATCHES "_com_test$")
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK board)
  endif()
endfunction()

# The tool on Windows, run as a user would: NAME STATUS PATTERN ARG... runs zelp7x_flash.exe with
# the ARGs in the session's directory and expects that exit status and an output line matching
# the extended regular expression (carriage returns shown as \r).
function(zelp_add_wine_tool_run name status pattern)
  add_test(NAME windows_tool_${name}
           COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/expect_run.sh ${status} ${pattern}
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:zelp7x_flash> ${ARGN})
  set_tests_properties(windows_tool_${name} PROPERTIES FIXTURES_REQUIRED wine
                       ENVIRONMENT "${ZELP_WINE_ENV}" TIMEOUT 60 RESOURCE_LOCK board
                       WORKING_DIRECTORY ${ZELP_WINE_STATE})
endfunction()

zelp_add_wine_tool_run(help 0 [[^ -h +this help message\\r$]] -h)
zelp_add_wine_tool_run(port_not_com 1 "^io_init failed: arg" -s /dev/ttyS0 -d)
zelp_add_wine_tool_run(no_bridge 1 "^ZELP USB device not found" -d)
zelp_add_wine_tool_run(list_no_bridge 1 [[^no supported bridge found\\r$]] --list)
zelp_add_wine_tool_run(serial_no_bridge 1 "^no supported bridge has serial number X1 "
                       -s serial=X1 -d)
zelp_add_wine_tool_run(flash_id 0 "^flash vendor id = 0xef, device id = 0x4016" -s COM7 -d)
zelp_add_wine_tool_run(write_verify 0 "bytes read in" -s COM7 -q -e -w image.bin -v image.bin)
zelp_add_wine_tool_run(accelerated_verify 0 "bytes read in" -s COM7 -q -Q -v image.bin)
zelp_add_wine_tool_run(hex_dump 0 [[^0x000000: ([0-9a-f]{2} ){16}\\r$]]
                       -s COM7 -r - -c 16)
# COM9 leads to a pseudo-terminal nobody serves: the run must end, and soon.
zelp_add_wine_tool_run(silent_port 1 "Error during transfer on the Serial/SPI device" -s COM9 -d)
set_tests_properties(windows_tool_accelerated_verify PROPERTIES DEPENDS windows_tool_write_verify)
# What the tool verified must be what the board's flash file holds.
add_test(NAME windows_tool_flash_holds_image COMMAND cmp -n 8192 image.bin flash.bin
         WORKING_DIRECTORY ${ZELP_WINE_STATE})
set_tests_properties(windows_tool_flash_holds_image PROPERTIES FIXTURES_REQUIRED wine
                     DEPENDS windows_tool_write_verify RESOURCE_LOCK board)

# A board on another machine: the programs reach a native board through Debian's ser2net.
add_test(NAME windows_network_runs
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/network_runs.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                 $<TARGET_FILE:zelp7x_flash> $<TARGET_FILE:zelp7x_host> ${board_sim}
                 ${native_bin}/ser2net_front)
set_tests_properties(windows_network_runs PROPERTIES FIXTURES_REQUIRED wine
                     ENVIRONMENT "${ZELP_WINE_ENV}" TIMEOUT 180)

# The programs must start on a bare Windows: every DLL they import is one of the system's.
set(system_dlls "KERNEL32|ADVAPI32|SETUPAPI|HID|WS2_32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+")
set(other_dlls "grep 'DLL Name:' | grep -viE 'DLL Name: (${system_dlls})\\.dll$'")
add_test(NAME windows_programs_import_only_system_dlls
         COMMAND sh -c "! '${CMAKE_OBJDUMP}' -p \"$0\" \"$1\" \"$2\" | ${other_dlls}"
                 $<TARGET_FILE:zelp7x_flash> $<TARGET_FILE:zelp7x_host> $<TARGET_FILE:morvel_pkg_info>)
