// Tells where things are on the screen, as a person would see them, so that
// the end-to-end tests can point the mouse at them:
//
//   wininfo CAPTION             "x y w h" of the top-level window with that caption
//   wininfo CAPTION close       centre of the caption's close box
//   wininfo CAPTION ID          centre of the control with that identifier
//   wininfo CAPTION text ID     the control's text, line feeds written as \n
//   wininfo CAPTION focus       identifier of the control that has the focus
//   wininfo CAPTION foreground  makes the window the foreground window anew
//   wininfo --desktop           keeps the desktop up with a hidden window of this
//                               caption, "e2e desktop", until the session ends;
//                               for each WM_WININICHANGE it gets, it reads the
//                               default printer as a running program does and
//                               prints "WM_WININICHANGE SECTION: device=VALUE"
//   wininfo --version           the Windows version programs are told, "4.10 9x"
//                               ("nt" for the NT family)
//
// Exit code 1 when the window or the control is not there.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Waits up to two seconds for the window's thread to make it its active
// window with the focus in it (a dialog restores its focus only once it is
// active), or to make another one active.
static bool WaitActive(HWND wnd, bool active)
{
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    for (int i = 0; i < 200; i++, Sleep(10)) {
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(wnd, NULL), &info))
            continue;
        bool focused = info.hwndFocus && (info.hwndFocus == wnd || IsChild(wnd, info.hwndFocus));
        if (active ? info.hwndActive == wnd && focused : info.hwndActive != wnd)
            return true;
    }
    return false;
}

// A message sent to the window reaches it here, never through GetMessage.
static LRESULT CALLBACK DesktopProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_WININICHANGE) {
        char device[512];
        GetProfileStringA("windows", "device", "(none)", device, sizeof device);
        printf("WM_WININICHANGE %s: device=%s\n", lParam ? (const char *)lParam : "NULL", device);
        fflush(stdout);
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

int main(int argc, char **argv)
{
    if (argc < 2) return 2;
    if (strcmp(argv[1], "--desktop") == 0) {
        WNDCLASSA cls = {};
        cls.lpfnWndProc = DesktopProc;
        cls.lpszClassName = "e2e desktop";
        if (!RegisterClassA(&cls)
            || !CreateWindowExA(0, "e2e desktop", "e2e desktop", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL))
            return 1;
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
        return 0;
    }
    if (strcmp(argv[1], "--version") == 0) {
        DWORD v = GetVersion();
        printf("%u.%u %s\n", LOBYTE(v), HIBYTE(LOWORD(v)), v & 0x80000000 ? "9x" : "nt");
        return 0;
    }
    HWND wnd = FindWindowA(NULL, argv[1]);
    if (!wnd) return 1;
    RECT r;
    GetWindowRect(wnd, &r);
    if (argc == 2) {
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (strcmp(argv[2], "close") == 0) {
        int frameX = GetSystemMetrics(SM_CXFIXEDFRAME), frameY = GetSystemMetrics(SM_CYFIXEDFRAME);
        int size = GetSystemMetrics(SM_CYCAPTION) - 1;
        printf("%ld %ld\n", r.right - frameX - 2 - size / 2, r.top + frameY + size / 2);
        return 0;
    }
    if (strcmp(argv[2], "foreground") == 0) {
        // The desktop first, then the window: a window that is already the
        // foreground is not activated again, and its caption not redrawn.
        SetForegroundWindow(GetDesktopWindow());
        if (!WaitActive(wnd, false) || !SetForegroundWindow(wnd) || !WaitActive(wnd, true)) return 1;
        return GetForegroundWindow() == wnd ? 0 : 1;
    }
    if (strcmp(argv[2], "focus") == 0) {
        GUITHREADINFO info;
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(wnd, NULL), &info) || !info.hwndFocus) return 1;
        printf("%d\n", GetDlgCtrlID(info.hwndFocus));
        return 0;
    }
    if (strcmp(argv[2], "text") == 0 && argc == 4) {
        HWND ctl = GetDlgItem(wnd, (int)strtol(argv[3], NULL, 0));
        if (!ctl) return 1;
        char text[2048];
        GetWindowTextA(ctl, text, sizeof text);
        for (char *p = text; *p; p++) {
            if (*p == '\n') fputs("\\n", stdout);
            else if (*p == '\r') fputs("\\r", stdout);
            else putchar(*p);
        }
        putchar('\n');
        return 0;
    }
    HWND ctl = GetDlgItem(wnd, (int)strtol(argv[2], NULL, 0));
    if (!ctl) return 1;
    GetWindowRect(ctl, &r);
    printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return 0;
}
