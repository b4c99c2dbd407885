# The real uninstall.exe: no C runtime, its own start-up, and imports only
# from the four system DLLs that Windows 95 ships.
enable_language(RC)

# Compiled against what Windows 95 has: the headers then hide much of what
# came later (the exe check's import list is the real guard).  COMCTL32 4.00,
# as Windows 95 shipped it, is the headers' Internet Explorer 2.0 level.
add_compile_definitions(WINVER=0x0400 _WIN32_WINDOWS=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0200)

add_executable(uninstall WIN32 ${PROGRAM_SOURCES} ui/startup.cpp resources/uninstall.rc)
target_include_directories(uninstall PRIVATE resources ui removal)
set_target_properties(uninstall PROPERTIES OUTPUT_NAME uninstall)

# Windows 95 runs on an 80386, and the compiler's own default, the Pentium
# Pro, brings CMOV, which most PCs of the Windows 95 family lack.  The tuning
# only orders and chooses among 80386 instructions, and pentiumpro gave the
# smallest code of the tunings tried (generic, i386, i486, pentium, k6, ...).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(ENTRY_SYMBOL _WinMainCRTStartup)
    set(ARCH_COMPILE_OPTIONS -march=i386 -mtune=pentiumpro)
    set(ARCH_LINK_OPTIONS "")
else()
    set(ENTRY_SYMBOL WinMainCRTStartup)
    set(ARCH_COMPILE_OPTIONS "")
    set(ARCH_LINK_OPTIONS -Wl,--disable-high-entropy-va)
endif()

# Without stack probes, a frame near a page could step past the stack's
# guard page before touching it: the build refuses one over three quarters.
target_compile_options(uninstall PRIVATE
    -Wall -Wextra -Os ${ARCH_COMPILE_OPTIONS} -Werror=frame-larger-than=3072
    -ffreestanding -fno-builtin
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -fno-stack-check -mno-stack-arg-probe
    -fno-tree-loop-distribute-patterns -fno-threadsafe-statics)

# Windows 95 refuses an exe whose subsystem or OS version is above 4.0.
# No link time in the header (time stamp 0, and so a checksum that does not
# change either): the same sources give the same bytes.
target_link_options(uninstall PRIVATE
    -Wl,--no-insert-timestamp
    -Wl,-Map=${CMAKE_BINARY_DIR}/uninstall.map
    -nostdlib -nostartfiles -s
    -Wl,--entry,${ENTRY_SYMBOL}
    -Wl,--subsystem,windows
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--disable-dynamicbase -Wl,--disable-nxcompat -Wl,--disable-reloc-section
    ${ARCH_LINK_OPTIONS}
    -Wl,--file-alignment,512 -Wl,--section-alignment,4096)
# No libgcc: Debian builds it for the Pentium Pro, and the program needs
# nothing from it; a helper the compiler calls for would fail the link.
target_link_libraries(uninstall PRIVATE kernel32 user32 advapi32 comctl32)

# Size, imports and the CPU the code needs, with every build; an i686 exe
# that needs more than an 80386 fails the build.
add_custom_command(TARGET uninstall POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E echo "uninstall.exe (${CMAKE_SYSTEM_PROCESSOR}):"
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/exe-report $<TARGET_FILE:uninstall>
    VERBATIM)

# The platform tests run under 64-bit Wine only.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    include(tests/platform/platform.cmake)
endif()
