/* Files in use now, deleted when Windows next starts. The 95 family reads
   NUL= lines in WININIT.INI before it starts, seeing only short (8.3) names
   then; the NT family never reads that file, and takes delayed deletions
   through MoveFileExA instead. */
#include <windows.h>

#include "removal.h"

typedef BOOL (WINAPI *MoveFileExProc)(LPCSTR from, LPCSTR to, DWORD flags);

static BOOL IsListed(LPCSTR path, LPCSTR const *listed, int listedCount)
{
    for (int i = 0; i < listedCount; i++)
        if (lstrcmpiA(path, listed[i]) == 0)
            return TRUE;
    return FALSE;
}

/* Windows 95 has MoveFileExA only as a stub, so it is looked up here rather
   than imported. */
static void DeleteAtRestartNt(LPCSTR path)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    MoveFileExProc moveFileEx =
        kernel ? (MoveFileExProc)(void (*)(void))GetProcAddress(kernel, "MoveFileExA") : NULL;
    if (moveFileEx)
        moveFileEx(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void DeleteAtRestart(LPCSTR path, LPCSTR const *listed, int listedCount)
{
    char shortPath[MAX_PATH];

    if (IsNtFamily()) {
        DeleteAtRestartNt(path);
        return;
    }
    DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        lstrcpyA(shortPath, path);
    if (!IsListed(shortPath, listed, listedCount))
        AddWininitDeletion(shortPath);
}
