/* Text in fixed-size buffers: paths built piece by piece only while they fit,
   and registry values taken as text only when terminated within the buffer. */
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

BOOL IsTerminated(const char *text, DWORD size, DWORD capacity)
{
    for (DWORD i = 0; i < size && i < capacity; i++)
        if (text[i] == 0)
            return TRUE;
    return FALSE;
}
