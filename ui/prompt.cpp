/* The two messages the program ends with: the completion prompt with the
   restart it offers, and the abort message when nothing was removed. */
#include <windows.h>

#include "dialogs.h"
#include "globals.h"

/* The name spelled out, as in every text the user reads (see entry.cpp). */
static const char kAbortText[] =
    "The Oxtrel Lintora 460D driver has not been uninstalled and remains on your PC";
static const char kAbortCaption[] = "Uninstallation aborted";

typedef BOOL (WINAPI *OpenProcessTokenProc)(HANDLE process, DWORD access, PHANDLE token);
typedef BOOL (WINAPI *LookupPrivilegeValueProc)(LPCSTR system, LPCSTR name, PLUID luid);
typedef BOOL (WINAPI *AdjustTokenPrivilegesProc)(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                                 DWORD length, PTOKEN_PRIVILEGES previous, PDWORD returned);

/* ADVAPI32's token functions are looked up rather than imported: Windows 95
   has them only as stubs, and the exe imports only what it calls there. */
static void EnableShutdownPrivilege(void)
{
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    if (!advapi)
        return;
    OpenProcessTokenProc openToken =
        (OpenProcessTokenProc)(void (*)(void))GetProcAddress(advapi, "OpenProcessToken");
    LookupPrivilegeValueProc lookup =
        (LookupPrivilegeValueProc)(void (*)(void))GetProcAddress(advapi, "LookupPrivilegeValueA");
    AdjustTokenPrivilegesProc adjust =
        (AdjustTokenPrivilegesProc)(void (*)(void))GetProcAddress(advapi, "AdjustTokenPrivileges");
    HANDLE token;
    if (!openToken || !lookup || !adjust ||
        !openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (lookup(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        adjust(token, FALSE, &privileges, 0, NULL, NULL);
    CloseHandle(token);
}

void PromptRestart(HWND owner, LPCSTR text)
{
    lstrcpyA(g_caption, "Uninstallation succeeded");
    if (MessageBoxA(owner, text, g_caption, MB_SYSTEMMODAL | MB_YESNO) != IDYES)
        return;
    /* The NT family restarts only for a process that has enabled the
       shutdown privilege, which a user holds disabled; the 95 family never
       refuses for want of it. A refused restart is not reported. The NT
       family logs the reason: a planned restart after an installation, not
       an unexpected one. */
    if (!ExitWindowsEx(EWX_REBOOT, 0) && GetLastError() == ERROR_PRIVILEGE_NOT_HELD) {
        EnableShutdownPrivilege();
        ExitWindowsEx(EWX_REBOOT,
                      SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION | SHTDN_REASON_FLAG_PLANNED);
    }
}

void ShowAbortMessage(HWND owner)
{
    MessageBoxA(owner, kAbortText, kAbortCaption, MB_OK);
}
