/* Paths built piece by piece in MAX_PATH buffers, by the removal and by the
   WININIT.INI writer alike. */
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
