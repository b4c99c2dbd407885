# The platform tests: one source, built for the simulated machine (Linux,
# linked with winsim) and for Windows (an ordinary MinGW console program with
# its C and C++ runtimes linked in, unlike the shipped exe), run by
# tests/platform/run. Included from cmake/sim.cmake and cmake/windows.cmake.
set(PLATFORM_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PLATFORM_SOURCES ${PLATFORM_DIR}/platform_test.cpp ${PLATFORM_DIR}/check.cpp)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    add_executable(platform-tests ${PLATFORM_SOURCES} ${PLATFORM_DIR}/machine_win.cpp
                   ${PLATFORM_DIR}/platform.rc)
    target_compile_options(platform-tests PRIVATE -Wall -Wextra -O2)
    # Static runtimes: Wine finds no libstdc++ DLL of its own.
    target_link_options(platform-tests PRIVATE -static -mconsole)
    target_link_libraries(platform-tests PRIVATE advapi32 user32 kernel32)
    target_include_directories(platform-tests PRIVATE ${CMAKE_SOURCE_DIR}/sim)  # shown.h alone
else()
    add_executable(platform-tests ${PLATFORM_SOURCES} ${PLATFORM_DIR}/machine_sim.cpp)
    target_link_libraries(platform-tests PRIVATE winsim)
    target_compile_options(platform-tests PRIVATE -Wall -Wextra)
endif()
