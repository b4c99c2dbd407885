# The fuzz targets: each checks the program's own code on the simulated
# machine against the rules, for any input. Included from cmake/sim.cmake.
#
# ctest replays each target's checked-in corpus (tests/fuzz/corpus/<target>)
# as a test of its own, FuzzCorpus.<target>, through a small driver
# (replay.cpp) built with the rest of the Linux build, sanitizers and all.
# Built by clang, the targets are also coverage-guided fuzzers (libFuzzer,
# AddressSanitizer and UBSan), which scripts/fuzz builds and runs.
set(FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(FUZZ_TARGETS wininit scan programs printers)

add_library(fuzz-replay OBJECT ${FUZZ_DIR}/replay.cpp)
target_compile_options(fuzz-replay PRIVATE ${WARN})
foreach(name ${FUZZ_TARGETS})
    add_executable(replay-${name} ${FUZZ_DIR}/${name}.cpp)
    target_link_libraries(replay-${name} PRIVATE fuzz-replay program)
    target_compile_options(replay-${name} PRIVATE ${WARN})
    add_test(NAME FuzzCorpus.${name} COMMAND replay-${name} ${FUZZ_DIR}/corpus/${name})
endforeach()
target_link_libraries(replay-scan PRIVATE scan-model)
target_link_libraries(replay-printers PRIVATE printer-machine)

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
endif()

set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all)

# The machine and the program again, sanitized; only the program's code and
# the targets' are instrumented for coverage.
add_library(fuzz-sim STATIC ${SIM_SOURCES})
target_include_directories(fuzz-sim PUBLIC sim/include sim)
target_compile_definitions(fuzz-sim PUBLIC SIM_RES_FILE="${RES_FILE}")
target_compile_options(fuzz-sim PUBLIC ${SANITIZE})
target_link_options(fuzz-sim PUBLIC ${SANITIZE})
add_dependencies(fuzz-sim resfile)

add_library(fuzz-program STATIC ${PROGRAM_SOURCES})
target_include_directories(fuzz-program PUBLIC resources ui removal)
target_link_libraries(fuzz-program PUBLIC fuzz-sim)
target_compile_options(fuzz-program PRIVATE ${WARN} -fno-exceptions -fno-rtti -fsanitize=fuzzer-no-link)

foreach(name ${FUZZ_TARGETS})
    add_executable(fuzz-${name} ${FUZZ_DIR}/${name}.cpp)
    target_link_libraries(fuzz-${name} PRIVATE fuzz-program)
    target_compile_options(fuzz-${name} PRIVATE ${WARN} -fsanitize=fuzzer)
    target_link_options(fuzz-${name} PRIVATE -fsanitize=fuzzer)
endforeach()
target_sources(fuzz-scan PRIVATE tests/scan_model.cpp)
target_sources(fuzz-printers PRIVATE tests/printer_machine.cpp)
target_include_directories(fuzz-printers PRIVATE tests)
target_include_directories(fuzz-scan PRIVATE tests)
