// Holds driver files as a PC where the printer is used holds them: the shell
// extension loaded, as Explorer loads it, and the status monitor running.
// Windows refuses to delete either until they are let go.
//
//   hold MARKER DLL EXE   loads DLL, starts EXE (a copy of this program) with
//                         MARKER, which it writes once it runs; when MARKER is
//                         deleted, ends EXE, lets DLL go and exits
//   hold MARKER           as EXE: writes MARKER, then waits until it is ended
//
// Exit code 1 when the DLL cannot be loaded or the program started.
#include <windows.h>
#include <stdio.h>

static bool Exists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int main(int argc, char **argv)
{
    if (argc == 2) {
        CloseHandle(CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        Sleep(INFINITE);
    }
    if (argc != 4) return 2;
    HMODULE dll = LoadLibraryA(argv[2]);
    if (!dll) {
        fprintf(stderr, "hold: cannot load %s (%lu)\n", argv[2], GetLastError());
        return 1;
    }
    char line[2 * MAX_PATH + 8];
    snprintf(line, sizeof line, "\"%s\" \"%s\"", argv[3], argv[1]);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(argv[3], line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "hold: cannot start %s (%lu)\n", argv[3], GetLastError());
        return 1;
    }
    while (!Exists(argv[1]) && WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {
    }
    while (Exists(argv[1]))
        Sleep(20);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, INFINITE);
    FreeLibrary(dll);
    return 0;
}
