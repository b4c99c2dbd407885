/* The confirmation dialog: OK goes on to the removal, Cancel leaves the PC as it is. */
#include <windows.h>

#include "dialogs.h"
#include "globals.h"

/* The whole wParam is compared, so only a plain click or keyboard command counts. */
static void OnCommand(HWND hDlg, WPARAM wParam)
{
    switch (wParam) {
    case IDOK:
        EndDialog(hDlg, IDOK);
        g_confirmed = 1;
        break;
    case IDCANCEL:
        EndDialog(hDlg, IDCANCEL);
        /* The dialog stays on screen until this message returns, so it owns the box. */
        ShowAbortMessage(hDlg);
        /* Cleared only once the box is closed: an OK that reaches the dialog
           while the box is up must not turn the Cancel into a removal. */
        g_confirmed = 0;
        break;
    }
}

INT_PTR CALLBACK WelcomeDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE; /* the focus goes to OK, the first tab stop */
    case WM_COMMAND:
        OnCommand(hDlg, wParam);
        return FALSE;
    }
    return FALSE;
}
