/* The progress dialog: paces a bar on a timer, then runs the removal. */
#include <windows.h>
#include <commctrl.h>

#include "dialogs.h"
#include "globals.h"
#include "removal.h"
#include "resource.h"

enum {
    kTimerId = 1,
    kLastStepTick = 71, /* ticks 2 to 71 step the bar: 70 steps */
};

static void OnInitDialog(HWND hDlg)
{
    InitCommonControls();
    g_hProgress = GetDlgItem(hDlg, IDC_PROGRESS);
    SendMessageA(g_hProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 140));
    /* A step of -2 takes the position below the range at the first step.
       How the bar draws that is the common control's own, on Windows 95 as
       elsewhere: the dialog relies only on the messages it sends. */
    SendMessageA(g_hProgress, PBM_SETSTEP, (WPARAM)-2, 0);
    g_tick = 1;
    SetTimer(hDlg, kTimerId, 1, NULL);
}

static void OnTimer(HWND hDlg)
{
    g_tick++;
    if (g_tick <= kLastStepTick) {
        SendMessageA(g_hProgress, PBM_STEPIT, 0, 0);
        return;
    }
    /* Killed first: the removal must run once, and the timer would otherwise
       keep firing into this handler's queue while it works. */
    KillTimer(hDlg, kTimerId);
    RemoveDriver();
    g_removed = 1;
    PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
}

INT_PTR CALLBACK UninstallDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(hDlg);
        return FALSE;
    case WM_TIMER:
        OnTimer(hDlg);
        return TRUE;
    case WM_COMMAND:
        /* The same command closes the dialog after the removal and when the
           user presses Esc while the bar steps. */
        if (wParam == IDCANCEL)
            EndDialog(hDlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}
