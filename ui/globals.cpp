#include "globals.h"

HINSTANCE g_hInstance = 0;
HANDLE g_hHeap = 0;
int g_confirmed = 1;
int g_removed = 0;
int g_tick = 0;
HWND g_hProgress = 0;
char g_message[300];
char g_caption[64];
