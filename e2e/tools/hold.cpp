// Holds driver files as a PC where the printer is used holds them: the shell
// extension loaded, as Explorer loads it, and the status monitor running.
// Windows refuses to delete either until they are let go.
//
//   hold MARKER DLL EXE   loads DLL and starts EXE (a copy of this program);
//                         once EXE runs, writes MARKER; when MARKER is
//                         deleted, ends EXE, lets DLL go and exits
//   hold RUNNING          as EXE: writes RUNNING, then waits until it is ended
//
// Exit code 1 when the DLL cannot be loaded or the program started.
#include <windows.h>
#include <stdio.h>
#include <string>

static bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

static void Write(const std::string &path) { CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL)); }

int main(int argc, char **argv)
{
    if (argc == 2) {
        Write(argv[1]);
        Sleep(INFINITE);
    }
    if (argc != 4) return 2;
    const std::string marker = argv[1], running = marker + ".running";
    HMODULE dll = LoadLibraryA(argv[2]);
    if (!dll) {
        fprintf(stderr, "hold: cannot load %s (%lu)\n", argv[2], GetLastError());
        return 1;
    }
    std::string line = "\"" + std::string(argv[3]) + "\" \"" + running + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(argv[3], &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "hold: cannot start %s (%lu)\n", argv[3], GetLastError());
        return 1;
    }
    // The marker is this program's to write, so that it is never deleted unseen.
    while (!Exists(running) && WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {}
    if (Exists(running)) {
        DeleteFileA(running.c_str());
        Write(marker);
        while (Exists(marker))
            Sleep(20);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, INFINITE);
    FreeLibrary(dll);
    return 0;
}
