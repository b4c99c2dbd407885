// The platform behaviours the unit tests take for granted, checked by one
// source on the simulated machine and on Windows (Wine). Where the two differ
// on purpose, the check says so with todo_wine.
//
// Usage: platform-tests 95|nt
//   95  the machine is a Windows 95: RegDeleteKeyA takes subkeys along
//   nt  the machine is an NT: RegDeleteKeyA refuses a key with subkeys
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "check.h"
#include "shown.h"
#include "test_machine.h"

namespace {

bool g_nt = false;

const char kBase[] = "SOFTWARE\\PlatformTest";
const char kDir[] = "C:\\PlatTest";

// ---- helpers over the API under test ---------------------------------------

bool KeyThere(HKEY root, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Deletes a key and everything under it, leaves first, as works on both families.
void DeleteTree(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char name[MAX_PATH];
    while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) {
        std::string child = path + "\\" + name;
        DeleteTree(root, child);
        if (KeyThere(root, child.c_str()))
            break;  // could not delete it: do not loop forever
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

bool ReadAll(const std::string &path, std::string *bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(f, chunk, sizeof chunk, &got, NULL) && got > 0)
        bytes->append(chunk, got);
    CloseHandle(f);
    return true;
}

bool WriteAll(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = bytes.empty() || WriteFile(f, bytes.data(), (DWORD)bytes.size(), &put, NULL);
    CloseHandle(f);
    return ok && put == bytes.size();
}

bool IsDir(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WindowsFile(const char *name)
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\" + name;
}

std::string WinIniPath() { return WindowsFile("WIN.INI"); }

std::string InDir(const char *name) { return std::string(kDir) + "\\" + name; }

// A call's result with the error it left. The error is set first to a value no
// call leaves, so that a call which does not set it shows.
template <class T> struct Called {
    T ret;
    DWORD error;
};
template <class F> auto Call(F f) -> Called<decltype(f())>
{
    SetLastError(0xdeadbeef);
    auto ret = f();
    return {ret, GetLastError()};
}

// The checks below run in helpers, so their line says little: failures name the row.
void Refused(const char *row, const Called<BOOL> &r, DWORD error, const char *errorName)
{
    ok(!r.ret, "%s: the call succeeded", row);
    ok(r.error == error, "%s: error %lu, expected %lu (%s)", row, (unsigned long)r.error, (unsigned long)error,
       errorName);
}

bool Deleted(const std::string &file, const char *row)
{
    Called<BOOL> r = Call([&] { return DeleteFileA(file.c_str()); });
    return ok(r.ret, "%s: DeleteFileA failed, error %lu", row, (unsigned long)r.error);
}

// ---- registry --------------------------------------------------------------

void RegDeleteKeyWithSubkeys()
{
    const std::string parent = std::string(kBase) + "\\Parent";
    const std::string child = parent + "\\Child";
    const std::string grandchild = child + "\\Grandchild";
    ok(machine::MakeKey(HKEY_LOCAL_MACHINE, grandchild.c_str()), "set-up: make %s", grandchild.c_str());
    ok(machine::SetString(HKEY_LOCAL_MACHINE, child.c_str(), "Driver", "OXPT.DRV"), "set-up: value");

    LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent.c_str());
    check::Case(g_nt ? "RegDeleteKeyA refuses a key with subkeys (NT)"
                     : "RegDeleteKeyA removes a key with its subkeys (Windows 95)");
    LONG expected = g_nt ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    ok(rc == expected, "RegDeleteKeyA returned %ld, expected %ld", (long)rc, (long)expected);
    ok(KeyThere(HKEY_LOCAL_MACHINE, parent.c_str()) == g_nt, "the key is %s", g_nt ? "gone" : "still there");
    ok(KeyThere(HKEY_LOCAL_MACHINE, grandchild.c_str()) == g_nt, "the subkey is %s",
       g_nt ? "gone" : "still there");
    if (g_nt) {
        for (const std::string *key : {&grandchild, &child, &parent})  // leaves first: that works
            ok(RegDeleteKeyA(HKEY_LOCAL_MACHINE, key->c_str()) == ERROR_SUCCESS, "delete %s", key->c_str());
        ok(!KeyThere(HKEY_LOCAL_MACHINE, parent.c_str()), "the emptied key is still there");
    }
    rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, parent.c_str());
    ok(rc == ERROR_FILE_NOT_FOUND, "deleting it again returned %ld, expected 2 (ERROR_FILE_NOT_FOUND)", (long)rc);
}

void RegQueryShortBuffer()
{
    check::Case("RegQueryValueExA into a too-short buffer: ERROR_MORE_DATA and the size needed");
    const std::string path = std::string(kBase) + "\\Query";
    const char value[] = "OX-PLATFORM-TEST";  // 16 characters and the NUL
    ok(machine::SetString(HKEY_LOCAL_MACHINE, path.c_str(), "Driver", value), "set-up: value");
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (!ok(rc == ERROR_SUCCESS, "RegOpenKeyExA returned %ld", (long)rc))
        return;
    BYTE data[64];
    DWORD type = 0, size;
    const struct { const char *row; DWORD size; bool data; LONG rc; } rows[] = {
        {"4-byte buffer", 4, true, ERROR_MORE_DATA},
        {"buffer one short", sizeof value - 1, true, ERROR_MORE_DATA},  // room for all but the NUL
        {"size only", 0, false, ERROR_SUCCESS},
        {"big enough buffer", sizeof data, true, ERROR_SUCCESS}};
    for (const auto &row : rows) {
        std::memset(data, 'X', sizeof data);
        size = row.size;
        rc = RegQueryValueExA(key, "Driver", NULL, &type, row.data ? data : NULL, &size);
        ok(rc == row.rc, "%s: returned %ld, expected %ld", row.row, (long)rc, (long)row.rc);
        ok(size == sizeof value, "%s: size set to %lu, expected %u", row.row, (unsigned long)size,
           (unsigned)sizeof value);
        ok(type == REG_SZ, "%s: type %lu, expected REG_SZ", row.row, (unsigned long)type);
        // What is left in the buffer differs and the program must not use it.
        if (row.size == 4)
            check::Note("the 4-byte buffer after ERROR_MORE_DATA holds %s",
                        Shown(std::string((const char *)data, 4)).c_str());
    }
    ok(std::memcmp(data, value, sizeof value) == 0, "big enough buffer: bytes %s",
       Shown(std::string((const char *)data, sizeof value)).c_str());
    RegCloseKey(key);
}

void RegNamesIgnoreCase()
{
    check::Case("registry key and value names are case-insensitive and kept as written");
    const std::string path = std::string(kBase) + "\\MixedCase";
    ok(machine::SetString(HKEY_LOCAL_MACHINE, path.c_str(), "DriverName", "x"), "set-up: value");
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\PLATFORMTEST\\mixedcase", 0, KEY_QUERY_VALUE, &key);
    if (ok(rc == ERROR_SUCCESS, "open in other case: returned %ld", (long)rc)) {
        DWORD size = 0;
        rc = RegQueryValueExA(key, "DRIVERNAME", NULL, NULL, NULL, &size);
        ok(rc == ERROR_SUCCESS && size == 2, "value in other case: returned %ld, size %lu", (long)rc,
           (unsigned long)size);
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kBase, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char name[MAX_PATH] = "";
        bool found = false;
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; i++)
            found = found || std::strcmp(name, "MixedCase") == 0;
        ok(found, "RegEnumKeyA does not list \"MixedCase\" as written");
        RegCloseKey(key);
    }
    rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\platformtest\\MIXEDCASE");
    ok(rc == ERROR_SUCCESS, "delete in other case: returned %ld", (long)rc);
    ok(!KeyThere(HKEY_LOCAL_MACHINE, path.c_str()), "the key is still there");
}

void RegSetAndDeleteValue()
{
    check::Case("RegSetValueExA writes a value, RegDeleteValueA deletes it");
    const std::string path = std::string(kBase) + "\\Values";
    ok(machine::MakeKey(HKEY_LOCAL_MACHINE, path.c_str()), "set-up: key");
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (!ok(rc == ERROR_SUCCESS, "RegOpenKeyExA returned %ld", (long)rc))
        return;
    const char value[] = "Other Laser";
    rc = RegSetValueExA(key, "Default", 0, REG_SZ, (const BYTE *)value, sizeof value);
    ok(rc == ERROR_SUCCESS, "RegSetValueExA returned %ld", (long)rc);
    char data[32];
    DWORD type = 0, size = sizeof data;
    rc = RegQueryValueExA(key, "DEFAULT", NULL, &type, (LPBYTE)data, &size);
    ok(rc == ERROR_SUCCESS && type == REG_SZ && size == sizeof value && std::memcmp(data, value, size) == 0,
       "read back: returned %ld, type %lu, %s", (long)rc, (unsigned long)type, Shown(std::string(data, size)).c_str());
    for (LONG want : {ERROR_SUCCESS, ERROR_FILE_NOT_FOUND}) {  // the second time, nothing is there
        rc = RegDeleteValueA(key, "Default");
        ok(rc == want, "RegDeleteValueA returned %ld, expected %ld", (long)rc, (long)want);
    }
    size = sizeof data;
    rc = RegQueryValueExA(key, "Default", NULL, &type, (LPBYTE)data, &size);
    ok(rc == ERROR_FILE_NOT_FOUND, "the deleted value: returned %ld", (long)rc);
    RegCloseKey(key);
}

// ---- files -----------------------------------------------------------------

void FileNamesIgnoreCase()
{
    check::Case("file names are case-insensitive");
    const std::string path = InDir("MixedCase.txt");
    ok(WriteAll(path, "abc"), "set-up: write %s", path.c_str());
    ok(IsFile("c:\\PLATTEST\\mixedcase.TXT"), "GetFileAttributesA in other case finds nothing");
    std::string bytes;
    ok(ReadAll("C:\\plattest\\MIXEDCASE.txt", &bytes) && bytes == "abc", "read in other case: %s",
       Shown(bytes).c_str());
    Deleted("C:\\PLATTEST\\MIXEDCASE.TXT", "in other case");
    ok(!IsFile(path.c_str()), "the file is still there");
}

// Deletes refused while something stands in the way, which go through once it
// is gone: a file inside, the read-only flag, another handle.
void Refusals()
{
    const struct {
        const char *name, *row, *leaf;
        bool folder;       // RemoveDirectoryA on it with a file inside, else DeleteFileA
        DWORD attributes;  // set on the file before the call
        bool held;         // open on another handle during the call
        DWORD error;       // NO_ERROR: the call goes through
        const char *errorName;
    } rows[] = {
        {"RemoveDirectoryA on a folder that is not empty fails and the folder stays", "folder not empty", "Full",
         true, 0, false, ERROR_DIR_NOT_EMPTY, "ERROR_DIR_NOT_EMPTY"},
        {"DeleteFileA on a read-only file fails", "read-only file", "ReadOnly.dll", false, FILE_ATTRIBUTE_READONLY,
         false, ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED"},
        // Only a loaded module or a running program is refused on Windows 95.
        {"DeleteFileA on a file another handle holds open: Windows 95 deletes it, the NT family refuses",
         "file held open", "Held.dll", false, 0, true, (DWORD)(g_nt ? ERROR_SHARING_VIOLATION : NO_ERROR),
         "ERROR_SHARING_VIOLATION"},
    };
    for (const auto &row : rows) {
        check::Case(row.name);
        const std::string path = InDir(row.leaf), inside = path + "\\inside.txt";
        auto there = [&] { return row.folder ? IsDir(path.c_str()) : IsFile(path.c_str()); };
        auto call = [&] { return row.folder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()); };
        ok(row.folder ? machine::MakeDir(path.c_str()) && WriteAll(inside, "inside") : WriteAll(path, "MZ"),
           "%s: set-up", row.row);
        if (row.attributes) {
            ok(SetFileAttributesA(path.c_str(), row.attributes), "%s: SetFileAttributesA failed", row.row);
            DWORD a = GetFileAttributesA(path.c_str());
            ok(a != INVALID_FILE_ATTRIBUTES && (a & row.attributes) == row.attributes,
               "%s: attributes %08lx, not %08lx", row.row, (unsigned long)a, (unsigned long)row.attributes);
        }
        HANDLE held = row.held ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, NULL)
                               : INVALID_HANDLE_VALUE;
        ok(!row.held || held != INVALID_HANDLE_VALUE, "%s: set-up: open", row.row);
        Called<BOOL> r = Call(call);
        if (row.error != NO_ERROR)
            Refused(row.row, r, row.error, row.errorName);
        else  // Wine refuses as the NT family does.
            todo_wine ok(r.ret, "%s: the call failed, error %lu", row.row, (unsigned long)r.error);
        ok(there() == !r.ret, "%s: the call returned %d, yet it is %s", row.row, (int)r.ret,
           r.ret ? "still there" : "gone");
        if (row.folder)
            ok(IsFile(inside.c_str()), "%s: the file inside is gone", row.row);
        // What stood in the way goes; then the call goes through.
        if (row.folder)
            Deleted(inside, row.row);
        if (row.attributes)
            ok(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL), "%s: clearing the flags failed", row.row);
        if (row.held)
            CloseHandle(held);
        std::string bytes;
        if (!row.folder && !r.ret)
            ok(ReadAll(path, &bytes) && bytes == "MZ", "%s: the file changed: %s", row.row, Shown(bytes).c_str());
        if (r.ret)
            continue;
        r = Call(call);
        ok(r.ret, "%s: once unblocked the call failed, error %lu", row.row, (unsigned long)r.error);
        ok(!there(), "%s: still there once deleted", row.row);
    }
}

void ClearReadOnlyKeepsTheRest()
{
    check::Case("SetFileAttributesA without the read-only bit clears it alone");
    const std::string file = InDir("Attrs.dll");
    ok(WriteAll(file, "MZ"), "set-up: file");
    ok(SetFileAttributesA(file.c_str(), GetFileAttributesA(file.c_str()) | FILE_ATTRIBUTE_READONLY),
       "set-up: read-only");
    DWORD before = GetFileAttributesA(file.c_str());
    ok(SetFileAttributesA(file.c_str(), before & ~FILE_ATTRIBUTE_READONLY), "SetFileAttributesA failed");
    DWORD after = GetFileAttributesA(file.c_str());
    ok(after == (before & ~FILE_ATTRIBUTE_READONLY), "attributes %08lx, then %08lx", (unsigned long)before,
       (unsigned long)after);
    Deleted(file, "attributes");
}

// Every name in path after the drive fits DOS: eight characters, a dot and three, no blanks.
bool IsShortPath(const std::string &path)
{
    size_t at = 3;
    while (at <= path.size()) {
        size_t end = path.find('\\', at);
        std::string name = path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t dot = name.find('.');
        std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
        if (name.empty() || name.find(' ') != std::string::npos || name.substr(0, dot).size() > 8 ||
            ext.size() > 3 || ext.find('.') != std::string::npos)
            return false;
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return true;
}

void ShortPathOfALongName()
{
    check::Case("GetShortPathNameA gives an 8.3 path that names the same file");
    const std::string dir = InDir("Long Folder Name");
    const std::string file = dir + "\\Printer Driver File.dll";
    ok(machine::MakeDir(dir.c_str()) && WriteAll(file, "MZ"), "set-up: file");
    char buffer[MAX_PATH] = "";
    DWORD length = GetShortPathNameA(file.c_str(), buffer, sizeof buffer);
    check::Note("%s is %s", file.c_str(), buffer);
    ok(length > 0 && length == std::strlen(buffer), "returned %lu for %s", (unsigned long)length, buffer);
    ok(IsShortPath(buffer), "not an 8.3 path: %s", buffer);
    // WININIT.EXE finds the file by that path; the program opens nothing by
    // it, and the simulated machine opens no file by its short name.
    std::string bytes;
    if (check::Where() != check::Side::Sim)
        ok(ReadAll(buffer, &bytes) && bytes == "MZ", "the short path does not name the file");
    char small[4];
    ok(GetShortPathNameA(file.c_str(), small, sizeof small) == length + 1, "a small buffer is not told the size");
    ok(GetShortPathNameA(kDir, buffer, sizeof buffer) > 0 && lstrcmpiA(buffer, kDir) == 0,
       "an 8.3 path comes back as %s", buffer);
    ok(GetShortPathNameA((dir + "\\Absent File.dll").c_str(), buffer, sizeof buffer) == 0, "a missing file");
    ok(DeleteFileA(file.c_str()) && RemoveDirectoryA(dir.c_str()), "clean-up");
}

void DelayedDeletion()
{
    check::Case(g_nt ? "MoveFileExA, looked up in KERNEL32, queues a deletion for the restart (NT)"
                     : "MoveFileExA, looked up in KERNEL32, is a stub (Windows 95)");
    typedef BOOL(WINAPI * MoveFileExProc)(LPCSTR, LPCSTR, DWORD);
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    MoveFileExProc moveFileEx =
        kernel ? (MoveFileExProc)(void (*)(void))GetProcAddress(kernel, "MoveFileExA") : NULL;
    if (!ok(moveFileEx != NULL, "KERNEL32.DLL %p has no MoveFileExA", (void *)kernel))
        return;
    const std::string file = InDir("Delayed.dll");
    ok(WriteAll(file, "MZ"), "set-up: file");
    Called<BOOL> r = Call([&] { return moveFileEx(file.c_str(), NULL, MOVEFILE_DELAY_UNTIL_REBOOT); });
    if (g_nt)
        ok(r.ret, "MoveFileExA failed, error %lu", (unsigned long)r.error);
    else  // Wine carries delayed deletions out in every mode.
        todo_wine ok(!r.ret && r.error == ERROR_CALL_NOT_IMPLEMENTED, "returned %d, error %lu", (int)r.ret,
                     (unsigned long)r.error);
    ok(IsFile(file.c_str()), "the file went at once");
    Deleted(file, "clean-up");
}

// ---- win.ini ---------------------------------------------------------------

const char kSection[] =
    "[PlatformTest]\r\n"
    "First=one\r\n"
    "Gone=two\r\n"
    "Spaced = three\r\n"
    ";a comment\r\n"
    "Last=four\r\n"
    "\r\n"
    "[PlatformTest2]\r\n"
    "Gone=stays\r\n";

std::string Replaced(std::string text, const std::string &from, const std::string &to = "")
{
    size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// win.ini as Wine writes it back after a change: the whole file in Wine's own
// format, keys without the spaces around '=' and no blank line between
// sections. Spelled out so that a change in Wine's format shows.
std::string WineRewrite(const std::string &text)
{
    return Replaced(Replaced(text, "Spaced = three", "Spaced=three"), "\r\n\r\n[PlatformTest2]",
                    "\r\n[PlatformTest2]");
}

// Seeds win.ini with the test's sections after what it held, makes the change
// and reads back what that left; false when the seeding failed.
template <class F> bool WinIniAfter(const std::string &seeded, F change, std::string *after)
{
    if (!ok(WriteAll(WinIniPath(), seeded), "set-up: write %s", WinIniPath().c_str()))
        return false;
    change();
    ok(ReadAll(WinIniPath(), after), "read win.ini");
    return true;
}

// The test's sections, as a failure shows them.
std::string Tail(const std::string &after, size_t from) { return Shown(after.substr(from < after.size() ? from : 0)); }

// A write changes the first section of that name: the key's line goes with
// its line end, or takes the new value with the key as the file wrote it,
// names matched without regard to case; every other byte stays. Wine writes
// the whole file back in its own format instead, when it changed anything.
void WinIniWrites(const std::string &original)
{
    const struct {
        const char *name, *section, *key, *value;
        const char *from, *to;  // the change the write makes to the test's sections
    } rows[] = {
        {"win.ini bytes after WriteProfileStringA(section, key, NULL)", "PlatformTest", "Gone", NULL, "Gone=two\r\n", ""},
        {"win.ini bytes after WriteProfileStringA(section, key, value) replaces a key", "PlatformTest", "gone", "new",
         "Gone=two", "Gone=new"},
        {"win.ini section and key names are case-insensitive", "PLATFORMTEST", "last", NULL, "Last=four\r\n", ""},
        {"win.ini unchanged after deleting a key that is not there", "PlatformTest", "Absent", NULL, "", ""},
        {"win.ini unchanged after deleting a key of a section that is not there", "NoSuchSection", "Gone", NULL, "",
         ""},
    };
    for (const auto &row : rows) {
        check::Case(row.name);
        const std::string seeded = original + kSection, expected = Replaced(seeded, row.from, row.to);
        std::string after;
        auto change = [&] { ok(WriteProfileStringA(row.section, row.key, row.value), "WriteProfileStringA failed"); };
        if (!WinIniAfter(seeded, change, &after))
            continue;
        bool rewritten = check::OnWine() && expected != seeded;
        todo_if(rewritten) ok(after == expected, "win.ini ends %s, expected %s", Tail(after, original.size()).c_str(),
                              Shown(expected.substr(original.size())).c_str());
        if (rewritten)
            ok(after == WineRewrite(expected), "Wine's rewrite changed: win.ini ends %s",
               Tail(after, original.size()).c_str());
    }
}

// The keys of a section in file order, each with its zero, then one more; a
// buffer too small for them gets the names that fit, the last one cut, two
// zeros, and size - 2. A value too long is cut to size - 1. The program
// reads only the length, and the names before it. The next header ends a
// section, an empty one too, but a '[' without its ']' is no header: the
// program reads WININIT.INI's [rename] section by the same rule.
void WinIniReadKeys(const std::string &original)
{
    check::Case("GetProfileStringA lists a section's keys in file order, up to the next header, and cuts them to "
                "the buffer");
    const char keys[] = "[PlatformKeys]\r\n;Old=OLD,LPT1:\r\nFirst=one\r\n=nameless\r\nLast=two\r\n[]\r\nAfter=x\r\n"
                        "[PlatformOpen]\r\nA=1\r\n[x\r\nB=2\r\n";
    if (!ok(WriteAll(WinIniPath(), original + kSection + keys), "set-up: write win.ini"))
        return;
    const struct {
        const char *row, *section, *key;
        DWORD size;
        std::string bytes;  // what the buffer holds, up to size
        DWORD length;
    } rows[] = {
        {"all keys", "PlatformTest", NULL, 32, std::string("First\0Gone\0Spaced\0Last\0\0", 24), 23},
        {"a list cut short", "PlatformTest", NULL, 9, std::string("First\0G\0", 8), 7},
        {"a value cut short", "PlatformTest", "Spaced", 4, std::string("thr\0", 4), 3},
        // A comment is no key; a key without a name is listed as an empty one.
        {"a comment, a key without a name, an empty header", "PlatformKeys", NULL, 32,
         std::string("First\0\0Last\0\0", 13), 12},
        {"a '[' without its ']'", "PlatformOpen", "B", 8, std::string("2\0", 2), 1},
    };
    for (const auto &row : rows) {
        char buffer[40];
        std::memset(buffer, 'X', sizeof buffer);
        DWORD length = GetProfileStringA(row.section, row.key, "", buffer, row.size);
        ok(length == row.length, "%s: returned %lu, expected %lu", row.row, (unsigned long)length,
           (unsigned long)row.length);
        ok(std::string(buffer, row.bytes.size()) == row.bytes && buffer[row.size] == 'X', "%s: the buffer holds %s",
           row.row, Shown(std::string(buffer, row.size + 1)).c_str());
        // Wine's ANSI list stops at the cut name's zero.
        if (!row.key && row.length == row.size - 2)
            todo_wine ok(buffer[row.size - 1] == 0, "%s: no second zero at the end", row.row);
    }
}

// The file as it was before the tests: the test's sections go.
void WinIniRestore(const std::string &original, bool existed)
{
    check::Case("win.ini as it was after the test's sections are deleted");
    const std::string path = WinIniPath();
    ok(existed ? WriteAll(path, original) : DeleteFileA(path.c_str()), "rewrite or delete win.ini");
    std::string after;
    bool there = ReadAll(path, &after);
    ok(there == existed && after == original, "win.ini is not as it was");
}

// The removal flushes the profile cache before it edits WININIT.INI itself.
void ProfileCacheFlush()
{
    check::Case("the profile cache flush reports FALSE and leaves WININIT.INI as it was");
    const std::string path = WindowsFile("WININIT.INI");
    std::string before, after;
    bool existed = ReadAll(path, &before);
    BOOL r = WritePrivateProfileStringA(NULL, NULL, NULL, "WININIT.INI");
    ok(!r, "returned %d", (int)r);
    bool there = ReadAll(path, &after);
    ok(there == existed && after == before, "WININIT.INI %s", there ? Shown(after).c_str() : "is gone");
}

// ---- dialogs, messages, directories, version ---------------------------------

void BroadcastWinIniChange()
{
    check::Case("SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, ...) tells the running programs");
    DWORD_PTR answer = 0;
    auto r = Call([&] {
        return SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, (LPARAM) "PlatformTest", SMTO_ABORTIFHUNG,
                                   1000, &answer);
    });
    ok(r.ret != 0, "returned 0, error %lu", (unsigned long)r.error);
}


INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void DialogMissingTemplate()
{
    check::Case("DialogBoxParamA with a missing template returns -1");
    auto r = Call([] {
        return DialogBoxParamA(GetModuleHandleA(NULL), "PLATFORMTEST_NONE", NULL, NoDialogProc, 0);
    });
    ok(r.ret == -1, "returned %ld", (long)r.ret);
    ok(r.error == ERROR_RESOURCE_NAME_NOT_FOUND, "error %lu, expected 1814 (ERROR_RESOURCE_NAME_NOT_FOUND)",
       (unsigned long)r.error);
}

void SystemDirectorySmallBuffer()
{
    check::Case("GetSystemDirectoryA with a too-small buffer returns the size needed and writes nothing");
    char full[MAX_PATH];
    UINT len = GetSystemDirectoryA(full, sizeof full);
    ok(len > 3 && len < sizeof full && std::strlen(full) == len, "returned %u for %s", len, full);
    char buffer[MAX_PATH];
    for (UINT size : {0u, 3u, len}) {  // len: room for all but the NUL
        std::memset(buffer, 'X', sizeof buffer);
        UINT r = GetSystemDirectoryA(size ? buffer : NULL, size);
        ok(r == len + 1, "size %u: returned %u, expected %u", size, r, len + 1);
        ok(std::string(buffer, sizeof buffer) == std::string(sizeof buffer, 'X'), "size %u: the buffer was written: %s",
           size,
           Shown(std::string(buffer, size)).c_str());
    }
}

void SystemDirectoryValue()
{
    check::Case("the system directory is C:\\WINDOWS\\SYSTEM, the Windows directory C:\\WINDOWS");
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, sizeof dir);
    // Wine keeps the NT layout even in Windows 95 mode.
    todo_wine ok(std::strcmp(dir, "C:\\WINDOWS\\SYSTEM") == 0, "system directory %s", dir);
    if (check::OnWine())
        ok(std::strcmp(dir, "C:\\windows\\system32") == 0, "Wine's system directory is now %s", dir);
    GetWindowsDirectoryA(dir, sizeof dir);
    ok(lstrcmpiA(dir, "C:\\WINDOWS") == 0, "Windows directory %s", dir);
    // Wine writes it in small letters.
    todo_wine ok(std::strcmp(dir, "C:\\WINDOWS") == 0, "Windows directory %s", dir);
}

void VersionFamily()
{
    DWORD v = GetVersion();
    unsigned major = v & 0xFF, minor = (v >> 8) & 0xFF;
    check::Case(g_nt ? "GetVersion: an NT has the high bit clear"
                     : "GetVersion: Windows 95 has the high bit set, version 4.0");
    check::Note("GetVersion() = %08lx", (unsigned long)v);
    ok(((v & 0x80000000u) == 0) == g_nt, "GetVersion %08lx: high bit %s", (unsigned long)v, g_nt ? "set" : "clear");
    ok(g_nt ? major >= 4 : major == 4 && minor == 0, "GetVersion %08lx: version %u.%u", (unsigned long)v, major,
       minor);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2 || (std::strcmp(argv[1], "95") != 0 && std::strcmp(argv[1], "nt") != 0)) {
        std::fprintf(stderr, "usage: %s 95|nt\n", argv[0]);
        return 2;
    }
    g_nt = std::strcmp(argv[1], "nt") == 0;
    check::SetSide(machine::Start(g_nt));
    std::printf("# %s, %s mode\n", check::SideName(check::Where()), g_nt ? "NT" : "Windows 95");

    // Leftovers of an interrupted run go first.
    DeleteTree(HKEY_LOCAL_MACHINE, kBase);
    machine::MakeDir(kDir);

    VersionFamily();
    RegDeleteKeyWithSubkeys();
    RegQueryShortBuffer();
    RegNamesIgnoreCase();
    RegSetAndDeleteValue();
    FileNamesIgnoreCase();
    Refusals();
    ClearReadOnlyKeepsTheRest();
    ShortPathOfALongName();
    DelayedDeletion();

    std::string original;
    bool existed = ReadAll(WinIniPath(), &original);
    WinIniWrites(original);
    WinIniReadKeys(original);
    WinIniRestore(original, existed);
    ProfileCacheFlush();

    DialogMissingTemplate();
    BroadcastWinIniChange();
    SystemDirectorySmallBuffer();
    SystemDirectoryValue();

    check::Case("clean-up: test keys and folder removed, nothing reported by the machine");
    DeleteTree(HKEY_LOCAL_MACHINE, kBase);
    ok(!KeyThere(HKEY_LOCAL_MACHINE, kBase), "test key left behind");
    ok(RemoveDirectoryA(kDir), "test folder left behind, error %lu", (unsigned long)GetLastError());
    std::string problems = machine::Problems();
    ok(problems.empty(), "the machine reported: %s", problems.c_str());

    return check::Finish() ? 1 : 0;
}
