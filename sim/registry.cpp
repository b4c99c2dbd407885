// The registry: a tree of keys with typed values, names compared without
// regard to case. Windows 95 by default: deleting a key takes its subkeys.
#include <algorithm>
#include <cstring>

#include "shown.h"
#include "state.h"

namespace sim {
namespace detail {

static std::vector<std::string> Split(const std::string &path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The canonical form of a root's path: aliases resolved into HKLM.
static std::string RootPath(const std::string &root)
{
    std::string r = Upper(root);
    if (r == "HKCR" || r == "HKEY_CLASSES_ROOT") return "HKLM\\SOFTWARE\\Classes";
    if (r == "HKCC" || r == "HKEY_CURRENT_CONFIG") return "HKLM\\Config\\0001";
    if (r == "HKLM" || r == "HKEY_LOCAL_MACHINE") return "HKLM";
    if (r == "HKCU" || r == "HKEY_CURRENT_USER") return "HKCU";
    return "";
}

static std::string Canonical(const std::string &path)
{
    size_t cut = path.find('\\');
    std::string root = RootPath(path.substr(0, cut));
    return cut == std::string::npos ? root : root + path.substr(cut);
}

// The key at a canonical path; create makes the missing ones on the way.
static RegKey *Walk(const std::string &canonical, bool create)
{
    std::vector<std::string> parts = Split(canonical);
    RegKey *key = parts[0] == "HKLM" ? S().hklm.get() : parts[0] == "HKCU" ? S().hkcu.get() : nullptr;
    for (size_t i = 1; key && i < parts.size(); i++) {
        if (parts[i].empty())
            return nullptr;
        auto it = key->children.find(Upper(parts[i]));
        if (it == key->children.end()) {
            if (!create)
                return nullptr;
            it = key->children.emplace(Upper(parts[i]), std::unique_ptr<RegKey>(new RegKey{parts[i], {}, {}})).first;
        }
        key = it->second.get();
    }
    return key;
}

static const char *PredefinedName(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
    return nullptr;
}

static std::string HandleName(HKEY key)
{
    if (const char *n = PredefinedName(key))
        return n;
    auto it = S().openKeys.find((uintptr_t)key);
    return it == S().openKeys.end() ? Hex((uintptr_t)key) : "<" + it->second + ">";
}

// The canonical path of an open or predefined key, "" for a bad handle.
static std::string HandlePath(HKEY key)
{
    if (const char *n = PredefinedName(key))
        return RootPath(n);
    auto it = S().openKeys.find((uintptr_t)key);
    return it == S().openKeys.end() ? "" : it->second;
}

// The key behind an open or predefined handle, null for a bad one.
static RegKey *KeyOf(HKEY handle)
{
    std::string path = HandlePath(handle);
    return path.empty() ? nullptr : Walk(path, false);
}

static std::string Join(const std::string &base, const char *sub)
{
    return (sub && *sub) ? base + "\\" + sub : base;
}

static std::string Parent(const std::string &path)
{
    return path.substr(0, path.rfind('\\'));
}

static std::string Leaf(const std::string &path)
{
    return path.substr(path.rfind('\\') + 1);
}

}  // namespace detail

using namespace detail;

void AddKey(const std::string &path) { Walk(Canonical(path), true); }

void SetValue(const std::string &key, const std::string &name, DWORD type, const std::string &bytes)
{
    Walk(Canonical(key), true)->values[Upper(name)] = RegValue{name, type, bytes};
}

void SetString(const std::string &key, const std::string &name, const std::string &value)
{
    SetValue(key, name, REG_SZ, value + std::string(1, '\0'));
}

bool KeyExists(const std::string &path) { return Walk(Canonical(path), false) != nullptr; }
void DenyOpen(const std::string &path) { Walk(Canonical(path), true)->denyOpen = true; }
void DenyDelete(const std::string &path) { Walk(Canonical(path), true)->denyDelete = true; }
void DeleteRefusedSilently(const std::string &path) { Walk(Canonical(path), true)->fakeDelete = true; }

static void Dump(const RegKey *key, const std::string &path, std::vector<std::string> &out)
{
    out.push_back(path);
    for (const auto &v : key->values) {
        std::string data;
        for (unsigned char c : v.second.data)
            data += Hex(c).substr(2) + " ";
        out.push_back(path + " : " + v.second.name + " = " + std::to_string(v.second.type) + " " + data);
    }
    for (const auto &c : key->children)
        Dump(c.second.get(), path + "\\" + c.second->name, out);
}

std::string DumpRegistry()
{
    std::vector<std::string> lines;
    Dump(S().hklm.get(), "HKLM", lines);
    Dump(S().hkcu.get(), "HKCU", lines);
    std::string out;
    for (const std::string &l : lines)
        out += l + "\n";
    return out;
}

}  // namespace sim

using namespace sim;
using namespace sim::detail;

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR name, DWORD options, REGSAM sam, PHKEY result)
{
    std::string base = HandlePath(root);
    LONG rc = ERROR_SUCCESS;
    RegKey *key = base.empty() ? nullptr : Walk(Join(base, name), false);
    if (base.empty())
        rc = ERROR_INVALID_HANDLE;
    else if (!key)
        rc = ERROR_FILE_NOT_FOUND;
    else if (key->denyOpen)
        rc = ERROR_ACCESS_DENIED;
    std::vector<std::string> args = {HandleName(root), Quote(name), Num(options),
                                     sam == KEY_QUERY_VALUE ? "KEY_QUERY_VALUE" : Hex(sam)};
    if (rc == ERROR_SUCCESS) {
        uintptr_t h = S().nextKey++;
        S().openKeys[h] = Join(base, name);
        *result = (HKEY)h;
    }
    Record("RegOpenKeyExA", args, rc);
    return rc;
}

// On ERROR_MORE_DATA what the buffer holds is undefined. The worst it may
// hold is the value's own first bytes, which look like a good read, so that
// is what it gets here.
LONG WINAPI RegQueryValueExA(HKEY hkey, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    RegKey *key = KeyOf(hkey);
    LONG rc = ERROR_SUCCESS;
    DWORD capacity = size ? *size : 0;
    const RegValue *value = nullptr;
    if (!key) {
        rc = ERROR_INVALID_HANDLE;
    } else {
        auto it = key->values.find(Upper(name ? name : ""));
        if (it == key->values.end())
            rc = ERROR_FILE_NOT_FOUND;
        else
            value = &it->second;
    }
    if (value) {
        if (type)
            *type = value->type;
        if (data && value->data.size() > capacity) {
            std::memcpy(data, value->data.data(), capacity);
            rc = ERROR_MORE_DATA;
        } else if (data) {
            std::memcpy(data, value->data.data(), value->data.size());
        }
        if (size)
            *size = (DWORD)value->data.size();
    }
    Record("RegQueryValueExA", {HandleName(hkey), Quote(name), Num(capacity)}, rc);
    return rc;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    std::string name = HandleName(key);
    LONG rc = S().openKeys.erase((uintptr_t)key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    Record("RegCloseKey", {name}, rc);
    return rc;
}

LONG WINAPI RegDeleteKeyA(HKEY root, LPCSTR name)
{
    std::string base = HandlePath(root);
    std::string path = base.empty() ? "" : Join(base, name);
    RegKey *key = path.empty() || !name || !*name ? nullptr : Walk(path, false);
    LONG rc = ERROR_SUCCESS;
    if (base.empty())
        rc = ERROR_INVALID_HANDLE;
    else if (!key)
        rc = ERROR_FILE_NOT_FOUND;
    else if (key->denyDelete)
        rc = ERROR_ACCESS_DENIED;
    else if (S().nt && !key->children.empty())
        rc = ERROR_ACCESS_DENIED;
    else if (!key->fakeDelete)
        Walk(Parent(path), false)->children.erase(Upper(Leaf(path)));
    Record("RegDeleteKeyA", {HandleName(root), Quote(name)}, rc);
    return rc;
}

LONG WINAPI RegSetValueExA(HKEY hkey, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size)
{
    RegKey *key = KeyOf(hkey);
    std::string bytes((const char *)data, data ? size : 0);
    if (key)
        key->values[Upper(name ? name : "")] = RegValue{name ? name : "", type, bytes};
    LONG rc = key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    Record("RegSetValueExA", {HandleName(hkey), Quote(name), Num(type), Shown(bytes)}, rc);
    return rc;
}

LONG WINAPI RegDeleteValueA(HKEY hkey, LPCSTR name)
{
    RegKey *key = KeyOf(hkey);
    LONG rc = !key ? ERROR_INVALID_HANDLE : key->values.erase(Upper(name ? name : "")) ? ERROR_SUCCESS
                                                                                     : ERROR_FILE_NOT_FOUND;
    Record("RegDeleteValueA", {HandleName(hkey), Quote(name)}, rc);
    return rc;
}

LONG WINAPI RegFlushKey(HKEY key)
{
    LONG rc = HandlePath(key).empty() ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
    Record("RegFlushKey", {HandleName(key)}, rc);
    return rc;
}

LONG WINAPI RegEnumKeyA(HKEY hkey, DWORD index, LPSTR name, DWORD size)
{
    RegKey *key = KeyOf(hkey);
    LONG rc = ERROR_SUCCESS;
    if (!key) {
        rc = ERROR_INVALID_HANDLE;
    } else if (index >= key->children.size()) {
        rc = ERROR_NO_MORE_ITEMS;
    } else {
        auto it = key->children.begin();
        std::advance(it, index);
        const std::string &n = it->second->name;
        if (n.size() + 1 > size)
            rc = ERROR_MORE_DATA;
        else
            std::memcpy(name, n.c_str(), n.size() + 1);
    }
    Record("RegEnumKeyA", {HandleName(hkey), Num(index), Num(size)}, rc);
    return rc;
}

}  // extern "C"
