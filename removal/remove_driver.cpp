/* The removal: every trace of the printer's driver, in a fixed order. What is
   missing or refused is passed over; only the system files refused now are
   noted, so that they go at the next start. */
#include <windows.h>

#include "removal.h"

#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))

struct FixedKey {
    HKEY root;
    LPCSTR name;
};

static const FixedKey kFixedKeys[] = {
    { HKEY_CLASSES_ROOT,   "CLSID\\{7c52e1a0-d3f9-11d0-b6a4-0a2b3c4d5e6f}" },
    { HKEY_CLASSES_ROOT,   "Printers\\shellex\\ContextMenuHandlers\\Lintora 460D Shell Extension" },
    { HKEY_CURRENT_CONFIG, "System\\CurrentControlSet\\control\\Print\\Printers\\" PRINTER_NAME },
    { HKEY_LOCAL_MACHINE,  "Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\" PRINTER_NAME },
    { HKEY_LOCAL_MACHINE,  "Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B" },
    { HKEY_LOCAL_MACHINE,  "Enum\\LPTENUM\\OXTRELLINTORA_460D_3E1B" },
    { HKEY_LOCAL_MACHINE,  "Enum\\LPTENUM\\OXTRELLINTORA_460D(6996" },
    { HKEY_LOCAL_MACHINE,  "SOFTWARE\\Classes\\CLSID\\{7c52e1a0-d3f9-11d0-b6a4-0a2b3c4d5e6f}" },
    { HKEY_LOCAL_MACHINE,  "SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Lintora 460D Shell Extension" },
    { HKEY_LOCAL_MACHINE,  "System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Drivers\\" PRINTER_NAME },
    { HKEY_LOCAL_MACHINE,  "System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Print Processors\\Lintora 460D PrintProcessor" },
    { HKEY_LOCAL_MACHINE,  "System\\CurrentControlSet\\control\\Print\\Monitors\\Lintora 460D LanguageMonitor" },
    { HKEY_LOCAL_MACHINE,  "System\\CurrentControlSet\\control\\Print\\Printers\\" PRINTER_NAME },
};

static const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

static const char *const kShortcuts[] = {
    "\\" PRINTER_NAME " Help.LNK",
    "\\" PRINTER_NAME " Printer Monitor.LNK",
    "\\" PRINTER_NAME " Uninstall Program.LNK",
};

/* Fixed 20-character slots; the empty slot ends the list. */
static const char kSystemFiles[][20] = {
    "OX46HLP.HLP",  "OX4632.DLL",   "OX46LN98.DLL", "OX46HLP.GID",
    "OX46CT.DLL",   "OX46IMG.BMP",  "OX46JP.DRV",   "OX46JPLN.DLL",
    "OX46JNLI.DLL", "OX46PRIN.DLL", "OX46RAST.DLL", "OX46LANG.DLL",
    "OX46RS.DLL",   "OX46SHEL.DLL", "OX46STAT.EXE", "OX46TN16.DLL",
    "OX46TN32.DLL", "",
};

/* Files that may be in use now; Windows deletes them at its next start. These
   name C:\WINDOWS\SYSTEM literally; on a PC with Windows elsewhere, the lines
   for the refused system files carry the real folder. */
static const char *const kDeferredDeletions[] = {
    "C:\\WINDOWS\\SYSTEM\\OX46PRIN.DLL",
    "C:\\WINDOWS\\SYSTEM\\OX46LANG.DLL",
};

static void ZeroBuffer(char *buffer, int size)
{
    while (size-- > 0)
        *buffer++ = 0;
}

static void DeleteFixedKeys(void)
{
    for (unsigned i = 0; i < ARRAY_SIZE(kFixedKeys); i++)
        DeleteKey(kFixedKeys[i].root, kFixedKeys[i].name);
    RegFlushKey(HKEY_LOCAL_MACHINE);
}

/* TRUE when the default printer moved. */
static BOOL RemoveProfileEntries(void)
{
    WriteProfileStringA("Devices", PRINTER_NAME, NULL);
    WriteProfileStringA("PrinterPorts", PRINTER_NAME, NULL);
    return MoveDefaultPrinter();
}

/* The user's Programs folder into folder; left empty when there is no usable
   value, so that the group is looked for at the root of the current drive. */
static void ReadProgramsFolder(char *folder)
{
    HKEY key;
    DWORD type = REG_NONE;
    DWORD size;

    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    size = MAX_PATH;
    LONG result = RegQueryValueExA(key, "Programs", NULL, &type, (LPBYTE)folder, &size);
    RegCloseKey(key);
    /* A value too long for the buffer leaves junk in it, and a value that is
       not text, or has no terminator, is no path at all. */
    if (result != ERROR_SUCCESS || type != REG_SZ || !IsTerminated(folder, size, MAX_PATH))
        ZeroBuffer(folder, MAX_PATH);
}

static void RemoveProgramGroup(void)
{
    char groupPath[MAX_PATH];
    char filePath[MAX_PATH];

    ZeroBuffer(groupPath, sizeof groupPath);
    ZeroBuffer(filePath, sizeof filePath);
    ReadProgramsFolder(groupPath);
    if (!AppendPath(groupPath, "\\" PRINTER_NAME))
        return;
    for (unsigned i = 0; i < ARRAY_SIZE(kShortcuts); i++) {
        lstrcpyA(filePath, groupPath);
        if (AppendPath(filePath, kShortcuts[i]))
            DeleteFileA(filePath);
    }
    /* Only an empty folder goes: anything the user added keeps the group. */
    RemoveDirectoryA(groupPath);
}

/* filePath = systemDir\fileName, if it fits. */
static BOOL MakeSystemFilePath(LPSTR filePath, LPCSTR systemDir, LPCSTR fileName)
{
    lstrcpyA(filePath, systemDir);
    return AppendPath(filePath, "\\") && AppendPath(filePath, fileName);
}

/* Deletes what it can of the system files; returns the refused ones, a bit
   each by list slot. */
static DWORD DeleteSystemFiles(LPSTR systemDir)
{
    char filePath[MAX_PATH];
    char fileName[20];
    int count = 0;
    DWORD refused = 0;

    ZeroBuffer(systemDir, MAX_PATH);
    ZeroBuffer(filePath, sizeof filePath);
    ZeroBuffer(fileName, sizeof fileName);

    UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0; /* the buffer holds no path */

    while (kSystemFiles[count][0] != 0)
        count++;
    for (int i = 0; i < count; i++) {
        lstrcpyA(fileName, kSystemFiles[i]);
        if (MakeSystemFilePath(filePath, systemDir, fileName) && !DeleteNow(filePath))
            refused |= 1UL << i;
    }
    return refused;
}

/* The refused system files, in list order, after the fixed lines. */
static void DeleteRefusedAtRestart(LPCSTR systemDir, DWORD refused)
{
    char filePath[MAX_PATH];
    for (int i = 0; refused != 0; i++, refused >>= 1)
        if ((refused & 1) && MakeSystemFilePath(filePath, systemDir, kSystemFiles[i]))
            DeleteAtRestart(filePath, kDeferredDeletions, ARRAY_SIZE(kDeferredDeletions));
}

void RemoveDriver(void)
{
    char systemDir[MAX_PATH];
    DWORD refused;
    BOOL defaultMoved;

    DeleteFixedKeys();
    ScanInstanceKeys();
    defaultMoved = RemoveProfileEntries();
    RemoveProgramGroup();
    refused = DeleteSystemFiles(systemDir);
    for (unsigned i = 0; i < ARRAY_SIZE(kDeferredDeletions); i++)
        AddWininitDeletion(kDeferredDeletions[i]);
    DeleteRefusedAtRestart(systemDir, refused);
    TellPrintersChanged(defaultMoved);
}
