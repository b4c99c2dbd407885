/* Deleting a registry key with everything under it. Windows 95 does that in
   one RegDeleteKeyA; the NT family refuses a key that still has subkeys, so
   there the subkeys are deleted first, deepest first, and the key again. */
#include <windows.h>

#include "removal.h"

BOOL IsNtFamily(void)
{
    return (GetVersion() & 0x80000000) == 0;
}

/* Deletes every subkey of root\name; FALSE if one of them stays. */
static BOOL DeleteSubkeys(HKEY root, LPCSTR name)
{
    HKEY key;
    char subkey[MAX_PATH];
    BOOL ok = TRUE;

    if (RegOpenKeyExA(root, name, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return FALSE;
    /* Always the first subkey: the one before it has just gone. */
    while (ok && RegEnumKeyA(key, 0, subkey, MAX_PATH) == ERROR_SUCCESS)
        ok = DeleteKey(key, subkey) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

LONG DeleteKey(HKEY root, LPCSTR name)
{
    LONG result = RegDeleteKeyA(root, name);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || !IsNtFamily())
        return result;
    if (!DeleteSubkeys(root, name))
        return result;
    return RegDeleteKeyA(root, name);
}
