// Holds files open as a running program holds its DLLs, so that Windows
// refuses to delete them:
//
//   hold MARKER FILE...   opens every FILE, sharing only reading, then writes
//                         MARKER and waits until it is ended
//
// Exit code 1 when a file cannot be opened.
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    for (int i = 2; i < argc; i++) {
        if (CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL) ==
            INVALID_HANDLE_VALUE) {
            fprintf(stderr, "hold: cannot open %s (%lu)\n", argv[i], GetLastError());
            return 1;
        }
    }
    HANDLE marker = CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(marker);
    Sleep(INFINITE);
    return 0;
}
