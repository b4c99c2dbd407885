# Linux build: the program's own sources against the simulated Windows 95
# machine in sim/, with the unit tests.
enable_testing()
find_package(GTest REQUIRED)
find_package(benchmark QUIET)

find_program(WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres REQUIRED)

set(WARN -Wall -Wextra)

# Every unit and platform run is checked by AddressSanitizer and UBSan, and a
# finding ends it: UBSan's bounds check sees an overflow inside a struct,
# where AddressSanitizer cannot. scripts/bench builds without them.
option(SANITIZE "Build with AddressSanitizer and UBSan" ON)
if(SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The dialogs come from the same compiled templates as the exe's.
file(GLOB RES_INPUTS CONFIGURE_DEPENDS resources/*.rc resources/*.h resources/*.ico)
set(RES_FILE ${CMAKE_BINARY_DIR}/uninstall.res)
add_custom_command(OUTPUT ${RES_FILE}
    COMMAND ${WINDRES} -I ${CMAKE_SOURCE_DIR}/resources -O res
            ${CMAKE_SOURCE_DIR}/resources/uninstall.rc ${RES_FILE}
    DEPENDS ${RES_INPUTS}
    VERBATIM)
add_custom_target(resfile DEPENDS ${RES_FILE})
# Those bytes held to the exe checks' own description of the dialogs and icon.
add_test(NAME ResourceBytes
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/exe/check_exe.py --res ${RES_FILE})
# And each of the exe checks catches its fault: throwaway exes linked by both
# MinGW-w64 compilers in a temporary folder of the run's own, about 40 s, so
# the longest test starts first; `ctest -LE exe` leaves it out.
add_test(NAME ExeChecks.CatchTheirFaults
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/exe/test_check_exe.py)
set_tests_properties(ExeChecks.CatchTheirFaults PROPERTIES LABELS exe COST 1000)

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS sim/*.cpp)
add_library(winsim STATIC ${SIM_SOURCES})
target_include_directories(winsim PUBLIC sim/include sim)
target_compile_options(winsim PRIVATE ${WARN})
target_compile_definitions(winsim PUBLIC SIM_RES_FILE="${RES_FILE}")
add_dependencies(winsim resfile)

add_library(program STATIC ${PROGRAM_SOURCES})
target_include_directories(program PUBLIC resources ui removal)
target_link_libraries(program PUBLIC winsim)
target_compile_options(program PRIVATE ${WARN} -fno-exceptions -fno-rtti)

add_library(printer-machine STATIC tests/printer_machine.cpp)
target_include_directories(printer-machine PUBLIC tests)
target_link_libraries(printer-machine PUBLIC winsim)

# The instance scan's rules, for the unit tests, the bench, scan-order and
# the scan corpus's replay (the libFuzzer target builds it again against its
# own machine).
add_library(scan-model STATIC tests/scan_model.cpp)
target_include_directories(scan-model PUBLIC tests)
target_link_libraries(scan-model PUBLIC winsim)
target_compile_options(scan-model PRIVATE ${WARN})

# The installed printer as the end-to-end tests' demo PC reads it.
add_executable(printer-description tests/printer_description.cpp)
target_link_libraries(printer-description PRIVATE printer-machine)

add_executable(demo-sim tests/demo_sim.cpp)
target_link_libraries(demo-sim PRIVATE program printer-machine)
target_compile_options(demo-sim PRIVATE ${WARN})

file(GLOB TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(unit-tests ${TEST_SOURCES})
target_include_directories(unit-tests PRIVATE tests)
target_link_libraries(unit-tests PRIVATE program printer-machine scan-model GTest::gtest GTest::gtest_main)
target_compile_options(unit-tests PRIVATE ${WARN})
include(GoogleTest)
gtest_discover_tests(unit-tests DISCOVERY_TIMEOUT 60)

# What the instance scan does over a layout, from the scan model: the
# end-to-end check of Wine's registry trace expects it.
add_executable(scan-order tests/scan_order.cpp)
target_link_libraries(scan-order PRIVATE program scan-model)

if(benchmark_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/tests/bench)
    file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS tests/bench/*.cpp)
    if(BENCH_SOURCES)
        add_executable(scan-bench ${BENCH_SOURCES})
        target_link_libraries(scan-bench PRIVATE program scan-model benchmark::benchmark)
        target_compile_options(scan-bench PRIVATE ${WARN})
    endif()
endif()

include(tests/platform/platform.cmake)
include(tests/fuzz/fuzz.cmake)
