/* State the entry and the two dialogs share for the whole run. */
#ifndef GLOBALS_H
#define GLOBALS_H

#include <windows.h>

extern HINSTANCE g_hInstance;  /* this program's module: both dialog templates come from it */
extern HANDLE g_hHeap;         /* private heap, created at start and destroyed at the end; never
                                  allocated from, kept as the program has always made it */
extern int g_confirmed;        /* 1 until the user cancels: a confirmation Windows could not
                                  show still ends in the abort message */
extern int g_removed;          /* 1 once the removal has run to its end */
extern int g_tick;             /* timer messages the progress dialog has counted, from 1 */
extern HWND g_hProgress;       /* the progress dialog's bar */
extern char g_message[300];    /* the completion text, as shown */
extern char g_caption[64];     /* the completion prompt's caption */

#endif
