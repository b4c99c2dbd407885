// Writes the whole registry of the running Wine prefix as text, one line per
// key and per value, so that two dumps taken before and after a run can be
// compared line by line:
//
//   K ROOT\key
//   V ROOT\key|name|type|hex bytes
//   L ROOT\key                      a symbolic link (not followed)
#include <windows.h>
#include <stdio.h>
#include <string.h>

#ifndef REG_OPTION_OPEN_LINK
#define REG_OPTION_OPEN_LINK 8
#endif

static FILE *g_out; // where the dump goes

static void DumpValues(HKEY key, const char *path)
{
    for (DWORD i = 0;; i++) {
        char name[16384];
        static BYTE data[1 << 20];
        DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
        LONG rc = RegEnumValueA(key, i, name, &nameLen, NULL, &type, data, &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) { fprintf(g_out, "E %s|value %lu|%ld\n", path, i, rc); break; }
        fprintf(g_out, "V %s|%s|%lu|", path, nameLen ? name : "@", type);
        for (DWORD j = 0; j < dataLen; j++) fprintf(g_out, "%02x", data[j]);
        fputc('\n', g_out);
    }
}

static void DumpKey(HKEY parent, const char *sub, const char *path)
{
    HKEY key;
    // Open the key itself, not what it points to, so links are seen as links.
    if (RegOpenKeyExA(parent, sub, REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS) {
        fprintf(g_out, "E %s|open\n", path);
        return;
    }
    DWORD type, size = 0;
    if (RegQueryValueExA(key, "SymbolicLinkValue", NULL, &type, NULL, &size) == ERROR_SUCCESS
        && type == REG_LINK) {
        fprintf(g_out, "L %s\n", path);
        RegCloseKey(key);
        return;
    }
    fprintf(g_out, "K %s\n", path);
    DumpValues(key, path);
    for (DWORD i = 0;; i++) {
        char name[1024];
        DWORD nameLen = sizeof name;
        LONG rc = RegEnumKeyExA(key, i, name, &nameLen, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) { fprintf(g_out, "E %s|subkey %lu|%ld\n", path, i, rc); break; }
        char child[8192];
        snprintf(child, sizeof child, "%s\\%s", path, name);
        DumpKey(key, name, child);
    }
    RegCloseKey(key);
}

int main(int argc, char **argv)
{
    g_out = argc > 1 ? fopen(argv[1], "w") : stdout;
    if (!g_out) return 2;
    DumpKey(HKEY_LOCAL_MACHINE, "", "HKLM");
    DumpKey(HKEY_USERS, "", "HKU");
    fclose(g_out);
    return 0;
}
