// Seeds registry keys and values into the running Wine prefix, the way an
// installer would have left them.  Reads a list of commands from the file
// named on the command line, one a line, fields separated by '|':
//
//   + ROOT\key                      create the key
//   = ROOT\key|name|sz|text         set a string value (name "@" is the default value)
//   = ROOT\key|name|dword|1234      set a DWORD value
//   = ROOT\key|name|hex|01 02 ff    set a binary value
//   - ROOT\key|name                 delete a value ("@": the default value)
//
// ROOT is HKLM, HKCU, HKCR, HKU or HKCC.  Lines starting with '#' and blank
// lines are skipped.  Every failure is printed and makes the exit code 1.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int g_failures; // commands that did not take effect

static HKEY ParseRoot(char *path, char **rest)
{
    static const struct { const char *name; HKEY root; } roots[] = {
        { "HKLM", HKEY_LOCAL_MACHINE }, { "HKCU", HKEY_CURRENT_USER },
        { "HKCR", HKEY_CLASSES_ROOT },  { "HKU",  HKEY_USERS },
        { "HKCC", HKEY_CURRENT_CONFIG },
    };
    char *slash = strchr(path, '\\');
    if (slash) *slash = 0;
    for (size_t i = 0; i < sizeof roots / sizeof roots[0]; i++) {
        if (_stricmp(path, roots[i].name) == 0) {
            *rest = slash ? slash + 1 : path + strlen(path);
            return roots[i].root;
        }
    }
    return NULL;
}

static void Fail(int line, const char *what, LONG rc)
{
    fprintf(stderr, "seed: line %d: %s failed (%ld)\n", line, what, rc);
    g_failures++;
}

static void Command(int line, char *text)
{
    char op = text[0];
    char *fields[4] = { 0 };
    int count = 0;
    char *p = text + 1;
    while (*p == ' ') p++;
    fields[count++] = p;
    while (count < 4 && (p = strchr(p, '|')) != NULL) {
        *p++ = 0;
        fields[count++] = p;
    }
    char *sub;
    HKEY root = ParseRoot(fields[0], &sub);
    if (!root) { Fail(line, "root", 0); return; }

    HKEY key;
    LONG rc = RegCreateKeyExA(root, sub, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (rc != ERROR_SUCCESS) { Fail(line, "RegCreateKeyExA", rc); return; }

    const char *name = count < 2 || strcmp(fields[1], "@") == 0 ? NULL : fields[1];
    if (op == '=' && count == 4) {
        if (strcmp(fields[2], "sz") == 0) {
            rc = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)fields[3], strlen(fields[3]) + 1);
        } else if (strcmp(fields[2], "dword") == 0) {
            DWORD v = strtoul(fields[3], NULL, 0);
            rc = RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&v, sizeof v);
        } else if (strcmp(fields[2], "hex") == 0) {
            BYTE data[1024];
            DWORD n = 0;
            for (char *q = fields[3], *end; *q && n < sizeof data; q = end) {
                unsigned long b = strtoul(q, &end, 16);
                if (end == q) break;
                data[n++] = (BYTE)b;
            }
            rc = RegSetValueExA(key, name, 0, REG_BINARY, data, n);
        } else {
            rc = -1;
        }
        if (rc != ERROR_SUCCESS) Fail(line, "RegSetValueExA", rc);
    } else if (op == '-' && count == 2) {
        rc = RegDeleteValueA(key, name);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) Fail(line, "RegDeleteValueA", rc);
    } else if (op != '+') {
        Fail(line, "syntax", 0);
    }
    RegCloseKey(key);
}

int main(int argc, char **argv)
{
    if (argc != 2) { fprintf(stderr, "usage: seed FILE\n"); return 2; }
    FILE *f = fopen(argv[1], "r");
    if (!f) { fprintf(stderr, "seed: cannot open %s\n", argv[1]); return 2; }
    char text[2048];
    int line = 0;
    while (fgets(text, sizeof text, f)) {
        line++;
        text[strcspn(text, "\r\n")] = 0;
        if (text[0] == 0 || text[0] == '#') continue;
        Command(line, text);
    }
    fclose(f);
    RegFlushKey(HKEY_LOCAL_MACHINE);
    RegFlushKey(HKEY_CURRENT_USER);
    return g_failures ? 1 : 0;
}
