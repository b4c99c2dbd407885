// Files on drive C:, names compared without regard to case, and the profile
// file win.ini as a real text file among them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "shown.h"
#include "state.h"

namespace sim {
namespace detail {

static std::string Full(const std::string &p)
{
    std::string f;
    if (p.size() >= 2 && p[1] == ':')
        f = p;
    else if (!p.empty() && p[0] == '\\')
        f = "C:" + p;  // the root of the current drive
    else
        f = "C:\\" + p;  // the current directory is C:\ .
    while (f.size() > 3 && f.back() == '\\')
        f.pop_back();
    return f;
}

static std::string KeyOf(const std::string &p) { return Upper(Full(p)); }

static std::string ParentOf(const std::string &key)
{
    size_t cut = key.rfind('\\');
    return cut <= 2 ? key.substr(0, 3) : key.substr(0, cut);
}

static FileNode *Node(const std::string &path)
{
    auto it = S().files.find(KeyOf(path));
    return it == S().files.end() ? nullptr : &it->second;
}

static bool HasChildren(const std::string &key)
{
    for (const auto &f : S().files)
        if (f.first != key && f.first.size() > key.size() && ParentOf(f.first) == key)
            return true;
    return false;
}

static bool IsOpen(const std::string &key)
{
    for (const auto &o : S().openFiles)
        if (o.second.key == key && !o.second.deleted)
            return true;
    return false;
}

// The file behind an open handle, or null. What a handle does once Windows 95
// has deleted its file is not modelled.
static OpenFile *Opened(HANDLE handle)
{
    auto it = S().openFiles.find((uintptr_t)handle);
    if (it == S().openFiles.end())
        return nullptr;
    if (it->second.deleted) {
        Fail("a handle to a deleted file was used: " + it->second.key);
        return nullptr;
    }
    return &it->second;
}

// Whether this call of fn is the one a test chose to fail.
bool FailsNow(const std::string &fn)
{
    auto it = S().failCountdown.find(fn);
    if (it == S().failCountdown.end() || --it->second > 0)
        return false;
    S().failCountdown.erase(it);
    S().failureStruck |= fn.find(" short") == std::string::npos;  // a short read or write strikes only if
                                                                   // it withholds bytes
    return true;
}

// A name DOS could hold as it is: up to eight characters, a dot and three.
static bool IsShortName(const std::string &name)
{
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    return !base.empty() && base.size() <= 8 && ext.size() <= 3 && ext.find('.') == std::string::npos &&
           name.find_first_of(" +,;=[]") == std::string::npos;
}

// Characters of a long name as its alias takes them: upper case, no blanks
// or dots, and '_' for what DOS names cannot hold.
static std::string AliasPart(const std::string &part, size_t keep)
{
    std::string out;
    for (char c : Upper(part))
        if (out.size() < keep && c != ' ' && c != '.')
            out += std::string("+,;=[]").find(c) == std::string::npos ? c : '_';
    return out;
}

// The 8.3 alias of a long name, as Windows makes the first in its folder:
// six characters of the name, ~1, and three of its extension. The program
// asks only for the short path of a file it found, and opens nothing by it,
// so clashing aliases and opening a file by its alias are not modelled.
static std::string Alias(const std::string &name)
{
    size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : AliasPart(name.substr(dot + 1), 3);
    return AliasPart(name.substr(0, dot), 6) + "~1" + (ext.empty() ? "" : "." + ext);
}

}  // namespace detail

using namespace detail;

void AddDir(const std::string &path)
{
    std::string key = KeyOf(path);
    if (key.size() > 3)
        AddDir(ParentOf(Full(path)));
    if (!S().files.count(key))
        S().files[key] = FileNode{Full(path), true, "", false, false};
}

void AddFile(const std::string &path, const std::string &bytes)
{
    AddDir(ParentOf(Full(path)));
    S().files[KeyOf(path)] = FileNode{Full(path), false, bytes, false, false};
}

bool Exists(const std::string &path) { return Node(path) != nullptr; }

std::string FileBytes(const std::string &path)
{
    FileNode *n = Node(path);
    return n ? n->data : std::string();
}

void SetReadOnly(const std::string &path) { Node(path)->readOnly = true; }
void SetInUse(const std::string &path) { Node(path)->inUse = true; }
void SetSystemDirectory(const std::string &path) { S().systemDir = path; }
void SetWindowsDirectory(const std::string &path) { S().windowsDir = path; }
void FailWritesAfter(long bytes) { S().writeBudget = bytes; }
void FailCall(const std::string &fn, int nth) { S().failCountdown[fn] = nth; }
void ShortRead(int nth) { S().failCountdown["ReadFile short"] = nth; }
void ShortWrite(int nth) { S().failCountdown["WriteFile short"] = nth; }
void GrowBeforeRead(int nth, const std::string &bytes)
{
    S().failCountdown["ReadFile grow"] = nth;
    S().growth = bytes;
}
bool FailureStruck() { return S().failureStruck; }

std::vector<std::string> DelayedDeletions() { return S().delayedDeletions; }

std::string DumpFiles()
{
    std::string out;
    for (const auto &f : S().files)
        out += f.second.path + (f.second.dir ? "\\" : " " + Shown(f.second.data)) +
               (f.second.readOnly ? " readonly" : "") + "\n";
    return out;
}

}  // namespace sim

using namespace sim;
using namespace sim::detail;

static UINT CopyDirectory(const std::string &dir, LPSTR buffer, UINT size)
{
    if (dir.size() + 1 > size)
        return (UINT)dir.size() + 1;  // the size needed; the buffer is untouched
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return (UINT)dir.size();
}

// The key lines of the first section of that name, in file order. Any
// header, an empty one too, ends a section; a '[' without its ']' is no
// header, and a line that starts with ';' a comment.
struct ProfileKey {
    size_t start, end;  // the line, its line end included
    std::string name, value;  // blanks around them trimmed
};
static std::vector<ProfileKey> ReadSection(const std::string &text, const std::string &section)
{
    std::vector<ProfileKey> keys;
    bool inSection = false;
    auto trim = [](const std::string &t) {
        size_t a = t.find_first_not_of(" \t\r\n"), b = t.find_last_not_of(" \t\r\n");
        return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
    };
    for (size_t pos = 0, end; pos < text.size(); pos = end) {
        end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        size_t first = line.find_first_not_of(" \t");
        size_t close = first == std::string::npos ? first : line.find(']', first);
        if (close != std::string::npos && line[first] == '[') {
            if (inSection)
                break;
            inSection = Upper(line.substr(first + 1, close - first - 1)) == Upper(section);
        } else if (inSection) {
            size_t eq = line.find('=');
            if (eq != std::string::npos && line[first] != ';')  // a comment is no key
                keys.push_back(ProfileKey{pos, end, trim(line.substr(0, eq)), trim(line.substr(eq + 1))});
        }
    }
    return keys;
}

static const ProfileKey *FindKey(const std::vector<ProfileKey> &keys, const std::string &key)
{
    for (const ProfileKey &k : keys)
        if (Upper(k.name) == Upper(key))
            return &k;
    return nullptr;
}

// A key's value, the key names of a section (each ended by a zero, then one
// more), or the fallback, cut to the buffer as Windows cuts them: a list that
// does not fit ends in the cut name and two zeros, and its length is size - 2.
static DWORD ReadProfile(const std::string &text, LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer,
                         DWORD size)
{
    std::vector<ProfileKey> keys = ReadSection(text, section);
    if (size == 0)
        return 0;
    if (!key) {
        std::string list;
        for (const ProfileKey &k : keys)
            list += k.name + '\0';
        bool fits = list.size() + 2 <= size;
        if (!fits)
            list = list.substr(0, size >= 2 ? size - 2 : 0) + '\0';  // the cut name's end
        list += '\0';
        std::memcpy(buffer, list.data(), std::min<size_t>(list.size(), size));
        return fits ? (DWORD)list.size() - 1 : size >= 2 ? size - 2 : 0;
    }
    const ProfileKey *k = FindKey(keys, key);
    std::string value = k ? k->value : fallback ? fallback : "";
    DWORD length = (DWORD)std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = 0;
    return length;
}

static FileNode *WinIni() { return Node(S().windowsDir + "\\WIN.INI"); }

// Deletes the key's line, or writes key=value in place of it with the key as
// the file wrote it; the other bytes of the file stay as they are. False for
// a value of a key not there yet, which Windows adds: that is not modelled.
static bool WriteProfile(std::string &text, const std::string &section, const std::string &key, LPCSTR value)
{
    std::vector<ProfileKey> keys = ReadSection(text, section);
    const ProfileKey *k = FindKey(keys, key);
    if (k && value)
        text.replace(k->start, k->end - k->start, k->name + "=" + value + "\r\n");
    else if (k)
        text.erase(k->start, k->end - k->start);
    return k || !value;
}

extern "C" {

BOOL WINAPI DeleteFileA(LPCSTR path)
{
    FileNode *n = Node(path);
    // Windows 95 deletes a file that is merely open and refuses a running
    // program or a loaded DLL. Wine in 95 mode refuses those as it refuses a
    // read-only file, with ERROR_ACCESS_DENIED, and so does this machine; the
    // NT family refuses both as a sharing violation.
    BOOL ok = n && !n->dir && !n->readOnly && !n->inUse && !(S().nt && IsOpen(KeyOf(path)));
    DWORD error = !n                                        ? ERROR_FILE_NOT_FOUND
                  : n->dir || n->readOnly || (n->inUse && !S().nt) ? ERROR_ACCESS_DENIED
                                                           : ERROR_SHARING_VIOLATION;
    if (ok) {
        S().files.erase(KeyOf(path));
        for (auto &o : S().openFiles)
            o.second.deleted |= o.second.key == KeyOf(path);
    }
    Record("DeleteFileA", {Quote(path)}, ok);
    return Result(ok, error);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path)
{
    FileNode *n = Node(path);
    bool empty = n && n->dir && !HasChildren(KeyOf(path));
    BOOL ok = empty && KeyOf(path).size() > 3;
    DWORD error = !n ? ERROR_FILE_NOT_FOUND : n->dir ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED;
    if (ok)
        S().files.erase(KeyOf(path));
    Record("RemoveDirectoryA", {Quote(path)}, ok);
    return Result(ok, error);
}

BOOL WINAPI MoveFileA(LPCSTR from, LPCSTR to)
{
    FileNode *n = Node(from);
    FileNode *parent = Node(ParentOf(Full(to)));
    DWORD error = 0;
    if (FailsNow("MoveFileA"))
        error = ERROR_ACCESS_DENIED;
    else if (!n)
        error = ERROR_FILE_NOT_FOUND;
    else if (Node(to))
        error = ERROR_ALREADY_EXISTS;
    else if (!parent || !parent->dir)
        error = ERROR_PATH_NOT_FOUND;
    else if (n->dir || n->inUse || IsOpen(KeyOf(from)))
        error = ERROR_SHARING_VIOLATION;
    if (!error) {
        FileNode moved = *n;
        moved.path = Full(to);
        S().files.erase(KeyOf(from));
        S().files[KeyOf(to)] = moved;
    }
    Record("MoveFileA", {Quote(from), Quote(to)}, !error);
    return Result(!error, error);
}

DWORD WINAPI GetFileAttributesA(LPCSTR path)
{
    FileNode *n = Node(path);
    DWORD a = !n ? INVALID_FILE_ATTRIBUTES
                 : (n->dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE) |
                       (n->readOnly ? FILE_ATTRIBUTE_READONLY : 0);
    Record("GetFileAttributesA", {Quote(path)}, (intptr_t)a);
    Result(n != nullptr, ERROR_FILE_NOT_FOUND);
    return a;
}

// The short form of an existing path: each long name in it by its alias.
DWORD WINAPI GetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size)
{
    std::string full = Full(path), out = full.substr(0, 2);
    bool found = Node(path) != nullptr;
    for (size_t at = 3; found && at <= full.size();) {
        size_t end = std::min(full.find('\\', at), full.size());
        std::string name = Node(full.substr(0, end))->path.substr(at);
        name = name.substr(0, name.find('\\'));
        out += "\\" + (IsShortName(name) ? name : Alias(name));
        at = end + 1;
    }
    if (full.size() == 3)
        out = full;
    DWORD length = found ? (DWORD)out.size() : 0;
    if (found && length < size)
        std::memcpy(buffer, out.c_str(), length + 1);
    else if (found)
        length++;  // the size needed; the buffer is untouched
    Record("GetShortPathNameA", {Quote(path), "buffer", Num(size)}, length);
    Result(found, ERROR_FILE_NOT_FOUND);
    return length;
}

// Reached only through GetProcAddress, as the program reaches it: a stub on
// Windows 95, a deletion queued for the restart on the NT family.
BOOL WINAPI SimMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    BOOL ok = S().nt && !to && flags == MOVEFILE_DELAY_UNTIL_REBOOT && Node(from) != nullptr;
    if (ok)
        S().delayedDeletions.push_back(Full(from));
    Record("MoveFileExA", {Quote(from), Quote(to), Hex(flags)}, ok);
    return Result(ok, !S().nt ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_FILE_NOT_FOUND);
}

// Only the read-only flag is kept; the other attributes are accepted and
// forgotten.
BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    FileNode *n = Node(path);
    if (n)
        n->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    Record("SetFileAttributesA", {Quote(path), Hex(attributes)}, n != nullptr);
    return Result(n != nullptr, ERROR_FILE_NOT_FOUND);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    UINT n = CopyDirectory(S().systemDir, buffer, size);
    Record("GetSystemDirectoryA", {"buffer", Num(size)}, n);
    return n;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    UINT n = CopyDirectory(S().windowsDir, buffer, size);
    Record("GetWindowsDirectoryA", {"buffer", Num(size)}, n);
    return n;
}

// Makes a new, empty file with a name of its own in dir, as Windows does for
// a unique number of 0. Like Windows, it refuses a folder longer than
// MAX_PATH - 14 characters, where the name might not fit.
UINT WINAPI GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out)
{
    FileNode *d = Node(dir);
    UINT number = 0;
    if (d && d->dir && unique == 0 && std::strlen(dir) <= MAX_PATH - 14) {
        for (;;) {
            number = ++S().tempCounter & 0xFFFF;
            char name[32];
            std::snprintf(name, sizeof name, "\\%.3s%X.TMP", prefix, number);
            std::string path = Full(dir) + name;
            if (!Node(path)) {
                S().files[KeyOf(path)] = FileNode{path, false, "", false, false};
                std::strcpy(out, path.c_str());
                break;
            }
        }
    }
    Record("GetTempFileNameA", {Quote(dir), Quote(prefix), Num(unique)}, number);
    return Result(number != 0, ERROR_PATH_NOT_FOUND) ? number : 0;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD, HANDLE)
{
    std::string key = KeyOf(path);
    FileNode *n = Node(path);
    FileNode *parent = Node(ParentOf(Full(path)));
    bool write = (access & GENERIC_WRITE) != 0;
    DWORD error = 0;
    if (!parent || !parent->dir)
        error = ERROR_PATH_NOT_FOUND;
    else if (n && (n->dir || (write && n->readOnly)))
        error = ERROR_ACCESS_DENIED;
    else if (n && (n->inUse || IsOpen(key)))
        error = ERROR_SHARING_VIOLATION;
    else if (!n && disposition == OPEN_EXISTING)
        error = ERROR_FILE_NOT_FOUND;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!error) {
        if (!n || disposition == CREATE_ALWAYS)
            S().files[key] = FileNode{Full(path), false, "", false, false};
        uintptr_t id = S().nextFile++;
        S().openFiles[id] = OpenFile{key, Full(path), write, 0};
        h = (HANDLE)id;
    }
    Record("CreateFileA", {Quote(path), write ? "GENERIC_WRITE" : "GENERIC_READ", Num(disposition)},
           (intptr_t)h, error ? "" : Named(h));
    Result(!error, error);
    return h;
}

// A read chosen to come back short stands for a file that another program
// cut short since it was opened: later reads through the handle find its end.
// A file chosen to grow has had bytes added by another program just before.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED)
{
    OpenFile *open = Opened(file);
    BOOL known = open != nullptr;
    BOOL ok = known && !FailsNow("ReadFile");
    bool shorten = FailsNow("ReadFile short");  // every call counts, as FailCall's do
    bool grow = FailsNow("ReadFile grow");
    DWORD got = 0;
    if (ok) {
        std::string &data = S().files[open->key].data;
        if (grow)
            data += S().growth;
        size_t pos = open->pos, end = std::min(data.size(), open->end);
        got = pos >= end ? 0 : (DWORD)std::min<size_t>(size, end - pos);
        if (shorten) {
            S().failureStruck |= got > 0;
            got /= 2;
            open->end = pos + got;
        }
        std::memcpy(buffer, data.data() + pos, got);
        open->pos += got;
    }
    if (read)
        *read = got;
    Record("ReadFile", {Named(file), Num(size)}, ok ? got : -1);
    return Result(ok, known ? ERROR_READ_FAULT : ERROR_INVALID_HANDLE);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high)
{
    OpenFile *open = Opened(file);
    DWORD size = !open ? 0xFFFFFFFF : (DWORD)S().files[open->key].data.size();
    if (high)
        *high = 0;
    Record("GetFileSize", {Named(file)}, (intptr_t)size);
    Result(size != 0xFFFFFFFF, ERROR_INVALID_HANDLE);
    return size;
}

// Only moves from the start are modelled.
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method)
{
    OpenFile *open = Opened(file);
    BOOL ok = open && distance >= 0 && !high && method == FILE_BEGIN;
    if (ok)
        open->pos = (size_t)distance;
    Record("SetFilePointer", {Named(file), Num(distance), Num(method)}, ok ? distance : -1);
    Result(ok, ERROR_INVALID_PARAMETER);
    return ok ? (DWORD)distance : INVALID_SET_FILE_POINTER;
}

// Writes what fits before the disk is full, and fails for the rest. A write
// chosen to come back short writes half and reports success all the same:
// only what it says it wrote tells.
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    OpenFile *open = Opened(file);
    BOOL ok = open && open->write;
    bool shorten = FailsNow("WriteFile short");
    DWORD put = 0;
    DWORD error = ERROR_INVALID_HANDLE;
    if (ok) {
        put = shorten ? size / 2 : size;
        S().failureStruck |= put < size;
        if (S().writeBudget >= 0 && (long)put > S().writeBudget) {
            put = (DWORD)S().writeBudget;
            ok = FALSE;
            error = ERROR_HANDLE_DISK_FULL;
            S().failureStruck = true;
        }
        if (S().writeBudget >= 0)
            S().writeBudget -= put;
        std::string &data = S().files[open->key].data;
        data.replace(open->pos, put, (const char *)buffer, put);
        open->pos += put;
    }
    if (written)
        *written = put;
    Record("WriteFile", {Named(file), Shown(std::string((const char *)buffer, size))},
           ok ? (intptr_t)put : -1);
    return Result(ok, error);
}

// A close chosen to fail still frees the handle, as when the last write-back
// to a full or lost disk fails.
BOOL WINAPI CloseHandle(HANDLE handle)
{
    std::string name = Named(handle);
    BOOL known = S().openFiles.erase((uintptr_t)handle) > 0 || S().tokens.erase((uintptr_t)handle) > 0;
    BOOL ok = known && !FailsNow("CloseHandle");
    Record("CloseHandle", {name}, ok);
    return Result(ok, known ? ERROR_WRITE_FAULT : ERROR_INVALID_HANDLE);
}

BOOL WINAPI WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value)
{
    Record("WriteProfileStringA", {Quote(section), Quote(key), Quote(value)}, TRUE);
    FileNode *ini = WinIni();
    if (!section || !key || (ini ? !WriteProfile(ini->data, section, key, value) : value != NULL)) {
        Fail("WriteProfileStringA: only the deletion of a key, and a new value for one, are modelled");
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD size)
{
    FileNode *ini = WinIni();
    DWORD length = ReadProfile(ini ? ini->data : "", section, key, fallback, buffer, size);
    Record("GetProfileStringA", {Quote(section), Quote(key), Quote(fallback), Num(size)}, length);
    return length;
}

// Only the flush of the profile cache is modelled: the machine keeps no
// cache, and Windows reports FALSE for a flush however it went.
BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    Record("WritePrivateProfileStringA", {Quote(section), Quote(key), Quote(value), Quote(file)}, FALSE);
    if (section || key || value)
        Fail("WritePrivateProfileStringA: only the flush of the profile cache is modelled");
    return FALSE;
}

}  // extern "C"
