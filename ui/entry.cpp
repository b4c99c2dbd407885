/* The program's entry: confirmation, then the progress dialog that runs the
   removal, then the offer to restart. */
#include <windows.h>

#include "dialogs.h"
#include "globals.h"

/* The printer's name is spelled out in the texts the user reads, here, in
   prompt.cpp and in uninstall.rc, so that each reads whole as it appears on
   screen; PRINTER_NAME names what the removal touches. */
static const char kCompletionText[] =
    "The Oxtrel Lintora 460D driver has been completely uninstalled.\n"
    "We advise you to reboot your PC for a proper uninstallation.\n"
    "Click on the 'Yes' button to reboot now.                 \n"
    "Clicking on the 'No' button will return you to Windows without completing "
    "the uninstallation procedure";
static_assert(sizeof kCompletionText <= sizeof g_message, "the completion text must fit its buffer");

/* Returns the result of the last dialog that ran; it becomes the exit code.
   The progress dialog runs only after OK. The completion prompt is shown only
   when the removal has run; otherwise the user learns that the driver is
   still there, unless the Cancel that said so already did. */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    INT_PTR result;

    g_hInstance = hInstance;
    g_hHeap = HeapCreate(0, 0, 0);

    result = DialogBoxParamA(g_hInstance, "WELCOME", NULL, WelcomeDlgProc, 0);
    if (g_confirmed == 1 && result == IDOK)
        result = DialogBoxParamA(g_hInstance, "UNINSTALL", NULL, UninstallDlgProc, 0);

    if (g_removed) {
        lstrcpyA(g_message, kCompletionText);
        PromptRestart(NULL, g_message);
    } else if (g_confirmed == 1) {
        ShowAbortMessage(NULL);
    }

    HeapDestroy(g_hHeap);
    return (int)result;
}
