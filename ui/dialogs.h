/* What the user sees: the confirmation, the progress dialog, the completion
   prompt and the message that nothing was removed. */
#ifndef DIALOGS_H
#define DIALOGS_H

#include <windows.h>

INT_PTR CALLBACK WelcomeDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UninstallDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
void PromptRestart(HWND owner, LPCSTR text);
void ShowAbortMessage(HWND owner);

#endif
