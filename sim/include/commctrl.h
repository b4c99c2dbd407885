/* Common controls of the simulated machine: the progress bar. */
#ifndef SIM_COMMCTRL_H
#define SIM_COMMCTRL_H

#include <windows.h>

#define PROGRESS_CLASSA "msctls_progress32"
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)

#ifdef __cplusplus
extern "C" {
#endif
void WINAPI InitCommonControls(void);
#ifdef __cplusplus
}
#endif

#endif
