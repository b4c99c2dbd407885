// The process's token, as far as a restart needs it: on the NT family
// ExitWindowsEx restarts only once the shutdown privilege is enabled, and a
// user holds it disabled. Windows 95 has the token functions only as stubs.
#include <cstring>

#include "state.h"

using namespace sim;
using namespace sim::detail;

namespace {

LUID const kShutdownLuid = {19, 0};

BOOL WINAPI SimOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    BOOL ok = S().nt && process == kCurrentProcess && (access & TOKEN_ADJUST_PRIVILEGES);
    uintptr_t id = ok ? S().nextFile++ : 0;
    if (ok)
        S().tokens.insert(id);
    *token = (HANDLE)id;
    Record("OpenProcessToken", {Named(process), Hex(access)}, ok, ok ? Named(*token) : "");
    return Result(ok, S().nt ? ERROR_ACCESS_DENIED : ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI SimLookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid)
{
    BOOL ok = S().nt && !system && std::strcmp(name, SE_SHUTDOWN_NAME) == 0;
    if (ok)
        *luid = kShutdownLuid;
    Record("LookupPrivilegeValueA", {Quote(system), Quote(name)}, ok);
    return Result(ok, S().nt ? ERROR_NO_SUCH_PRIVILEGE : ERROR_CALL_NOT_IMPLEMENTED);
}

// Only the enabling of the shutdown privilege alone is modelled.
BOOL WINAPI SimAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES,
                                     PDWORD)
{
    bool known = S().tokens.count((uintptr_t)token) > 0;
    bool shutdown = known && !disableAll && state && state->PrivilegeCount == 1 &&
                    state->Privileges[0].Luid.LowPart == kShutdownLuid.LowPart &&
                    state->Privileges[0].Luid.HighPart == kShutdownLuid.HighPart;
    if (shutdown)
        S().shutdownPrivilege = (state->Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    else if (known)
        Fail("AdjustTokenPrivileges: only the shutdown privilege alone is modelled");
    Record("AdjustTokenPrivileges",
           {Named(token), Num(disableAll), shutdown ? Hex(state->Privileges[0].Attributes) : "?"}, known);
    return Result(known, ERROR_INVALID_HANDLE);
}

}  // namespace

extern "C" {

HANDLE WINAPI GetCurrentProcess(void)
{
    Record("GetCurrentProcess", {}, (intptr_t)kCurrentProcess, Named(kCurrentProcess));
    return kCurrentProcess;
}

}  // extern "C"

namespace sim {
namespace detail {

FARPROC TokenFunction(const std::string &name)
{
    return name == "OpenProcessToken"        ? (FARPROC)(void (*)(void))SimOpenProcessToken
           : name == "LookupPrivilegeValueA" ? (FARPROC)(void (*)(void))SimLookupPrivilegeValueA
           : name == "AdjustTokenPrivileges" ? (FARPROC)(void (*)(void))SimAdjustTokenPrivileges
                                             : NULL;
}

}  // namespace detail
}  // namespace sim
