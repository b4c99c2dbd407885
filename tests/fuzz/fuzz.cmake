# Coverage-guided fuzz targets (clang's libFuzzer) over the program's own
# code on the simulated machine, with AddressSanitizer and UBSan. Included
# from cmake/sim.cmake when the compiler is clang; built and run by
# scripts/fuzz, and their corpora replayed by scripts/test.
set(FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
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

foreach(name wininit scan programs printers)
    add_executable(fuzz-${name} ${FUZZ_DIR}/${name}.cpp)
    target_link_libraries(fuzz-${name} PRIVATE fuzz-program)
    target_compile_options(fuzz-${name} PRIVATE ${WARN} -fsanitize=fuzzer)
    target_link_options(fuzz-${name} PRIVATE -fsanitize=fuzzer)
endforeach()
target_sources(fuzz-scan PRIVATE tests/scan_model.cpp)
target_sources(fuzz-printers PRIVATE tests/printer_machine.cpp)
target_include_directories(fuzz-printers PRIVATE tests)
target_include_directories(fuzz-scan PRIVATE tests)
