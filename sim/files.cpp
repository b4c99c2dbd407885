// Files on drive C:, names compared without regard to case, and the profile
// file win.ini as a real text file among them.
#include <algorithm>
#include <cstdio>
#include <cstring>

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
        if (o.second.key == key)
            return true;
    return false;
}

// Whether this call of fn is the one a test chose to fail.
static bool FailsNow(const std::string &fn)
{
    auto it = S().failCountdown.find(fn);
    if (it == S().failCountdown.end() || --it->second > 0)
        return false;
    S().failCountdown.erase(it);
    S().failureStruck |= fn != "ReadFile short";  // a short read strikes only if it withholds bytes
    return true;
}

static BOOL Result(BOOL ok, DWORD error)
{
    if (!ok)
        S().lastError = error;
    return ok;
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
bool FailureStruck() { return S().failureStruck; }

std::string DumpFiles()
{
    std::string out;
    for (const auto &f : S().files)
        out += f.second.path + (f.second.dir ? "\\" : " [" + Escape(f.second.data) + "]") +
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

// Deletes the key from the section, the line and its line end; the other
// bytes of the file stay as they are.
static void DeleteProfileKey(std::string &text, const std::string &section, const std::string &key)
{
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(pos, end - pos);
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') {
            size_t close = line.find(']', first);
            std::string name = line.substr(first + 1, close == std::string::npos ? 0 : close - first - 1);
            if (inSection)
                return;
            inSection = Upper(name) == Upper(section);
        } else if (inSection) {
            size_t eq = line.find('=');
            std::string k = line.substr(0, eq);
            size_t a = k.find_first_not_of(" \t"), b = k.find_last_not_of(" \t\r\n");
            k = a == std::string::npos ? "" : k.substr(a, b - a + 1);
            if (eq != std::string::npos && Upper(k) == Upper(key)) {
                text.erase(pos, end - pos);
                return;
            }
        }
        pos = end;
    }
}

extern "C" {

BOOL WINAPI DeleteFileA(LPCSTR path)
{
    FileNode *n = Node(path);
    BOOL ok = n && !n->dir && !n->readOnly && !n->inUse && !IsOpen(KeyOf(path));
    DWORD error = !n ? ERROR_FILE_NOT_FOUND : n->dir || n->readOnly ? ERROR_ACCESS_DENIED
                                                                     : ERROR_SHARING_VIOLATION;
    if (ok)
        S().files.erase(KeyOf(path));
    Record("DeleteFileA", {Quote(path)}, ok);
    return Result(ok, error);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path)
{
    FileNode *n = Node(path);
    bool empty = n && n->dir && !HasChildren(KeyOf(path));
    BOOL ok = empty && KeyOf(path).size() > 3;
    if (ok)
        S().files.erase(KeyOf(path));
    Record("RemoveDirectoryA", {Quote(path)}, ok);
    return Result(ok, !n ? ERROR_FILE_NOT_FOUND : n->dir ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED);
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
    else if (n && disposition == CREATE_NEW)
        error = ERROR_FILE_EXISTS;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!error) {
        if (!n || disposition == CREATE_ALWAYS)
            S().files[key] = FileNode{Full(path), false, "", false, false};
        uintptr_t id = S().nextFile++;
        S().openFiles[id] = OpenFile{key, write, 0};
        h = (HANDLE)id;
    }
    Record("CreateFileA", {Quote(path), write ? "GENERIC_WRITE" : "GENERIC_READ", Num(disposition)},
           (intptr_t)h);
    Result(!error, error);
    return h;
}

// A read chosen to come back short stands for a file that another program
// cut short since it was opened: later reads through the handle find its end.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED)
{
    auto it = S().openFiles.find((uintptr_t)file);
    BOOL known = it != S().openFiles.end();
    BOOL ok = known && !FailsNow("ReadFile");
    bool shorten = FailsNow("ReadFile short");  // every call counts, as FailCall's do
    DWORD got = 0;
    if (ok && !it->second.ended) {
        const std::string &data = S().files[it->second.key].data;
        size_t pos = it->second.pos;
        got = pos >= data.size() ? 0 : (DWORD)std::min<size_t>(size, data.size() - pos);
        if (shorten) {
            S().failureStruck |= got > 0;
            got /= 2;
            it->second.ended = true;
        }
        std::memcpy(buffer, data.data() + pos, got);
        it->second.pos += got;
    }
    if (read)
        *read = got;
    Record("ReadFile", {Hex((uintptr_t)file), Num(size)}, ok ? got : -1);
    return Result(ok, known ? ERROR_READ_FAULT : ERROR_INVALID_HANDLE);
}

// Writes what fits before the disk is full, and fails for the rest.
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    auto it = S().openFiles.find((uintptr_t)file);
    BOOL ok = it != S().openFiles.end() && it->second.write;
    DWORD put = 0;
    DWORD error = ERROR_INVALID_HANDLE;
    if (ok) {
        put = size;
        if (S().writeBudget >= 0 && (long)size > S().writeBudget) {
            put = (DWORD)S().writeBudget;
            ok = FALSE;
            error = ERROR_HANDLE_DISK_FULL;
            S().failureStruck = true;
        }
        if (S().writeBudget >= 0)
            S().writeBudget -= put;
        std::string &data = S().files[it->second.key].data;
        data.replace(it->second.pos, put, (const char *)buffer, put);
        it->second.pos += put;
    }
    if (written)
        *written = put;
    Record("WriteFile", {Hex((uintptr_t)file), Quote(Escape(std::string((const char *)buffer, size)).c_str())},
           ok ? (intptr_t)put : -1);
    return Result(ok, error);
}

// A close chosen to fail still frees the handle, as when the last write-back
// to a full or lost disk fails.
BOOL WINAPI CloseHandle(HANDLE handle)
{
    BOOL known = S().openFiles.erase((uintptr_t)handle) > 0;
    BOOL ok = known && !FailsNow("CloseHandle");
    Record("CloseHandle", {Hex((uintptr_t)handle)}, ok);
    return Result(ok, known ? ERROR_WRITE_FAULT : ERROR_INVALID_HANDLE);
}

BOOL WINAPI WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value)
{
    Record("WriteProfileStringA", {Quote(section), Quote(key), Quote(value)}, TRUE);
    if (value || !key) {
        Fail("WriteProfileStringA: only the deletion of a key is modelled");
        return FALSE;
    }
    FileNode *ini = Node(S().windowsDir + "\\WIN.INI");
    if (ini)
        DeleteProfileKey(ini->data, section, key);
    return TRUE;
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
