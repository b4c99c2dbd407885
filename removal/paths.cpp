/* Paths built piece by piece in MAX_PATH buffers, and files deleted, by the
   removal and by the WININIT.INI writer alike. */
#include <windows.h>

#include "removal.h"

BOOL AppendPath(LPSTR path, LPCSTR tail)
{
    /* A truncated path could name some other file: better not to build it. */
    if (lstrlenA(path) + lstrlenA(tail) >= MAX_PATH)
        return FALSE;
    lstrcatA(path, tail);
    return TRUE;
}

BOOL DeleteNow(LPCSTR path)
{
    if (DeleteFileA(path))
        return TRUE;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return TRUE;  /* not there: nothing to delete */
    return (attributes & FILE_ATTRIBUTE_READONLY) &&
           SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) && DeleteFileA(path);
}
