/* Files deleted now, by the removal and by the WININIT.INI writer alike. */
#include <windows.h>

#include "removal.h"

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
