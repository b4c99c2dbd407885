/* The completion prompt and the restart it offers. */
#include <windows.h>

#include "dialogs.h"
#include "globals.h"

void PromptRestart(HWND owner, LPCSTR text)
{
    lstrcpyA(g_caption, "Uninstallation succeeded");
    if (MessageBoxA(owner, text, g_caption, MB_SYSTEMMODAL | MB_YESNO) == IDYES)
        ExitWindowsEx(EWX_REBOOT, 0); /* a refused restart is not reported */
}
