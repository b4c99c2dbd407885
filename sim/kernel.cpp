// The machine itself, and the small KERNEL32 services: strings, heaps, errors.
#include <cstring>

#include "state.h"

namespace sim {
namespace detail {

State &S()
{
    static State state;
    return state;
}

std::string Upper(const std::string &s)
{
    std::string u = s;
    for (char &c : u)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return u;
}

static HINSTANCE const kModule = (HINSTANCE)(uintptr_t)0x00400000;
static HMODULE const kKernel = (HMODULE)(uintptr_t)0xBFF70000;
static HMODULE const kAdvapi = (HMODULE)(uintptr_t)0xBFEA0000;
static HANDLE const kHeap = (HANDLE)(uintptr_t)0x00510000;

// Named as keys and windows are, so that a test says which handle a call
// took, never its value, which only this machine decides. One it never
// handed out, or has taken back, goes by its value.
std::string Named(HANDLE h)
{
    if (h == (HANDLE)kModule) return "<program>";
    if (h == (HANDLE)kKernel) return "<KERNEL32>";
    if (h == (HANDLE)kAdvapi) return "<ADVAPI32>";
    if (h == kHeap) return "<heap>";
    if (h == kCurrentProcess) return "<current process>";
    if (S().tokens.count((uintptr_t)h)) return "<token>";
    auto file = S().openFiles.find((uintptr_t)h);
    return file != S().openFiles.end() ? "<" + file->second.path + ">" : Hex((uintptr_t)h);
}

}  // namespace detail

using namespace detail;

void Reset()
{
    static std::map<std::string, std::string> compiled = LoadTemplates();
    State &s = S();
    s = State();
    s.hklm.reset(new RegKey{"HKEY_LOCAL_MACHINE", {}, {}});
    s.hkcu.reset(new RegKey{"HKEY_CURRENT_USER", {}, {}});
    AddKey("HKLM\\SOFTWARE\\Classes");  // behind HKEY_CLASSES_ROOT
    AddKey("HKLM\\Config\\0001");       // behind HKEY_CURRENT_CONFIG
    s.windowsDir = "C:\\WINDOWS";
    s.systemDir = "C:\\WINDOWS\\SYSTEM";
    for (const char *dir : {"C:\\", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"})
        AddDir(dir);
    s.templates = compiled;
}

void SetNtFamily(bool nt) { S().nt = nt; }

HINSTANCE Module() { return kModule; }

std::vector<std::string> OpenHandles()
{
    std::vector<std::string> open;
    for (const auto &key : S().openKeys)
        open.push_back("<" + key.second + ">");
    for (const auto &file : S().openFiles)
        open.push_back(Named((HANDLE)file.first));
    for (uintptr_t token : S().tokens)
        open.push_back(Named((HANDLE)token));
    return open;
}

bool RestartRequested() { return S().restart; }

}  // namespace sim

using namespace sim;
using namespace sim::detail;

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    std::string n = name ? Upper(name) : "";
    HMODULE h = !name ? kModule : n == "KERNEL32.DLL" ? kKernel : n == "ADVAPI32.DLL" ? kAdvapi : NULL;
    Record("GetModuleHandleA", {Quote(name)}, (intptr_t)h, h ? Named(h) : "");
    return h;
}

BOOL WINAPI SimMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);

// KERNEL32's MoveFileExA and ADVAPI32's token functions are all a program
// looks up here.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC f = module == kKernel && std::strcmp(name, "MoveFileExA") == 0 ? (FARPROC)(void (*)(void))SimMoveFileExA
                : module == kAdvapi                                       ? TokenFunction(name)
                                                                           : NULL;
    Record("GetProcAddress", {Named(module), Quote(name)}, f != NULL);
    return f;
}

void WINAPI ExitProcess(UINT code)
{
    Record("ExitProcess", {Num(code)}, 0);
    Fail("ExitProcess called inside the simulated machine");
}

// Windows 95 (4.0, with the bit that marks the 95 family), or NT 5.1.
DWORD WINAPI GetVersion(void)
{
    DWORD v = S().nt ? 0x0A280105u : 0xC3B60004u;
    Record("GetVersion", {}, (intptr_t)v);
    return v;
}

DWORD WINAPI GetLastError(void) { return S().lastError; }
void WINAPI SetLastError(DWORD code) { S().lastError = code; }

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initial, SIZE_T maximum)
{
    S().heaps++;
    Record("HeapCreate", {Hex(options), Num((long long)initial), Num((long long)maximum)}, (intptr_t)kHeap,
           Named(kHeap));
    return kHeap;
}

BOOL WINAPI HeapDestroy(HANDLE heap)
{
    BOOL ok = heap == kHeap && S().heaps > 0;
    if (ok)
        S().heaps--;
    Record("HeapDestroy", {Named(heap)}, ok);
    return ok;
}

LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src)
{
    Record("lstrcpyA", {"buffer", Quote(src)}, 0);
    return std::strcpy(dst, src);
}

LPSTR WINAPI lstrcatA(LPSTR dst, LPCSTR src)
{
    Record("lstrcatA", {Quote(dst), Quote(src)}, 0);
    return std::strcat(dst, src);
}

// Equal texts compare equal; unlike strcmp, any difference of case counts.
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b)
{
    int r = std::strcmp(a, b);
    r = r < 0 ? -1 : r > 0 ? 1 : 0;
    Record("lstrcmpA", {Quote(a), Quote(b)}, r);
    return r;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b)
{
    std::string ua = Upper(a), ub = Upper(b);
    int r = ua < ub ? -1 : ua > ub ? 1 : 0;
    Record("lstrcmpiA", {Quote(a), Quote(b)}, r);
    return r;
}

int WINAPI lstrlenA(LPCSTR s)
{
    int n = s ? (int)std::strlen(s) : 0;
    Record("lstrlenA", {Quote(s)}, n);
    return n;
}

// The NT family restarts only for a process that enabled its shutdown
// privilege. A call FailCall chose stands for a program that would not end.
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason)
{
    bool declined = FailsNow("ExitWindowsEx");
    BOOL ok = !declined && (!S().nt || S().shutdownPrivilege);
    S().restart = S().restart || ok;
    Record("ExitWindowsEx", {Num(flags), Hex(reason)}, ok);
    return Result(ok, declined ? ERROR_CANCELLED : ERROR_PRIVILEGE_NOT_HELD);
}

}  // extern "C"
