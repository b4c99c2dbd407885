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

// Every registry call is a round trip to the wineserver, and the whole
// registry holds thousands of keys: the key's counts are asked for once, so
// that no call is spent on the end of a list or on looking for a link value.
// Data is asked for up to the key's longest value only, as Wine allocates a
// buffer of the size offered on every call.
static void DumpValues(HKEY key, const char *path, DWORD count, DWORD longest)
{
    for (DWORD i = 0; i < count; i++) {
        char name[16384];
        static BYTE data[1 << 20];
        static char hex[2 * sizeof data + 1];
        static const char digits[] = "0123456789abcdef";
        DWORD nameLen = sizeof name, type = 0;
        DWORD dataLen = longest < sizeof data ? longest : sizeof data;
        LONG rc = RegEnumValueA(key, i, name, &nameLen, NULL, &type, data, &dataLen);
        if (rc != ERROR_SUCCESS) { fprintf(g_out, "E %s|value %lu|%ld\n", path, i, rc); break; }
        fprintf(g_out, "V %s|%s|%lu|", path, nameLen ? name : "@", type);
        for (DWORD j = 0; j < dataLen; j++) {
            hex[2 * j] = digits[data[j] >> 4];
            hex[2 * j + 1] = digits[data[j] & 15];
        }
        hex[2 * dataLen] = '\n';
        fwrite(hex, 1, 2 * dataLen + 1, g_out);
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
    DWORD subkeys = 0, values = 0, longest = 0, type, size = 0;
    LONG rc = RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, &longest,
                               NULL, NULL);
    if (rc != ERROR_SUCCESS) {  // Wine's Perflib\009 opens but cannot be read
        fprintf(g_out, "K %s\nE %s|info|%ld\n", path, path, rc);
    } else if (values == 1 && subkeys == 0  // a link holds its one value, SymbolicLinkValue, and no subkeys
               && RegQueryValueExA(key, "SymbolicLinkValue", NULL, &type, NULL, &size) == ERROR_SUCCESS
               && type == REG_LINK) {
        fprintf(g_out, "L %s\n", path);
    } else {
        fprintf(g_out, "K %s\n", path);
        DumpValues(key, path, values, longest);
        for (DWORD i = 0; i < subkeys; i++) {
            char name[1024];
            DWORD nameLen = sizeof name;
            LONG rc = RegEnumKeyExA(key, i, name, &nameLen, NULL, NULL, NULL, NULL);
            if (rc != ERROR_SUCCESS) { fprintf(g_out, "E %s|subkey %lu|%ld\n", path, i, rc); break; }
            char child[8192];
            snprintf(child, sizeof child, "%s\\%s", path, name);
            DumpKey(key, name, child);
        }
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
