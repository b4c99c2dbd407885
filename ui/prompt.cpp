/* The two messages the program ends with: the completion prompt with the
   restart it offers, and the abort message when nothing was removed. */
#include <windows.h>

#include "dialogs.h"
#include "globals.h"

static const char kAbortText[] =
    "The Oxtrel Lintora 460D driver has not been uninstalled and remains on your PC";
static const char kAbortCaption[] = "Uninstallation aborted";

void PromptRestart(HWND owner, LPCSTR text)
{
    lstrcpyA(g_caption, "Uninstallation succeeded");
    if (MessageBoxA(owner, text, g_caption, MB_SYSTEMMODAL | MB_YESNO) == IDYES)
        ExitWindowsEx(EWX_REBOOT, 0); /* a refused restart is not reported */
}

void ShowAbortMessage(HWND owner)
{
    MessageBoxA(owner, kAbortText, kAbortCaption, MB_OK);
}
