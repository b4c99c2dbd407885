/* The exe's own start-up: Windows 95 has no C runtime DLL to lean on, so the
   program brings the little it needs from one. */
#include <windows.h>

#include "startup.h"

static int ShowState(void)
{
    STARTUPINFOA si;
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

extern "C" void WinMainCRTStartup(void)
{
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, CommandTail(GetCommandLineA()), ShowState()));
}

/* The compiler may turn a structure copy or a zeroing loop into these calls. */
extern "C" void *memset(void *dst, int value, size_t count)
{
    unsigned char *d = (unsigned char *)dst;
    while (count--)
        *d++ = (unsigned char)value;
    return dst;
}

extern "C" void *memcpy(void *dst, const void *src, size_t count)
{
    unsigned char *d = (unsigned char *)dst;
    const unsigned char *s = (const unsigned char *)src;
    while (count--)
        *d++ = *s++;
    return dst;
}
