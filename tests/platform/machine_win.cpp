// The set-up on Windows, or on Wine.
#include "test_machine.h"

namespace machine {

check::Side Start(bool)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version") != NULL;
    return wine ? check::Side::Wine : check::Side::Windows;
}

bool MakeKey(HKEY root, const char *path)
{
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool SetString(HKEY root, const char *path, const char *name, const char *value)
{
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)value, (DWORD)lstrlenA(value) + 1);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool MakeDir(const char *path)
{
    return CreateDirectoryA(path, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string Problems() { return ""; }

}  // namespace machine
