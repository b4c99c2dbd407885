// Modal dialogs, message boxes, timers and the progress bar, with the user
// played from the test's script.
#include "state.h"
#include <commctrl.h>

namespace sim {
namespace detail {

Window *AsWindow(HWND w)
{
    for (const auto &p : S().windows)
        if ((HWND)p.get() == w)
            return p.get();
    return nullptr;
}

std::string WindowName(HWND w)
{
    if (!w)
        return "NULL";
    Window *win = AsWindow(w);
    if (!win)
        return Hex((uintptr_t)w);
    return win->parent ? "<" + win->name + ":" + std::to_string(win->id) + ">" : "<" + win->name + ">";
}

static std::string MessageName(UINT msg)
{
    switch (msg) {
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_TIMER: return "WM_TIMER";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    case PBM_SETRANGE: return "PBM_SETRANGE";
    case PBM_SETSTEP: return "PBM_SETSTEP";
    case PBM_STEPIT: return "PBM_STEPIT";
    case WM_WININICHANGE: return "WM_WININICHANGE";
    }
    return Hex(msg);
}

static INT_PTR Dispatch(Window *dlg, UINT msg, WPARAM w, LPARAM l)
{
    // Recorded before the procedure runs, so that what it calls follows.
    Record("Dispatch", {"<" + dlg->name + ">", MessageName(msg), Num((long long)w), Num((long long)l)}, 0);
    size_t at = S().trace.size() - 1;
    INT_PTR r = dlg->proc((HWND)dlg, msg, w, l);
    S().trace[at].result = r;
    return r;
}

static Window *Child(Window *dlg, int id)
{
    for (Window *c : dlg->children)
        if (c->id == id)
            return c;
    return nullptr;
}

static bool IsPushButton(const Window *c)
{
    DWORD type = c->style & BS_TYPEMASK;
    return Upper(c->cls) == "BUTTON" && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

static void Command(Window *dlg, int id)
{
    Window *c = Child(dlg, id);
    Dispatch(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)(uintptr_t)c);
}

// Enter and Esc as the dialog manager takes them while the focus is on no
// other push button: the default push button's command, or IDOK without
// one; IDCANCEL. Which control has the focus, and what Tab does, is the
// platform's, driven by the end-to-end runs.
static void PlayKey(Window *dlg, int vk)
{
    if (vk == VK_RETURN) {
        for (Window *c : dlg->children)
            if (Upper(c->cls) == "BUTTON" && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                Command(dlg, c->id);
                return;
            }
        Command(dlg, IDOK);
    } else if (vk == VK_ESCAPE) {
        Command(dlg, IDCANCEL);
    } else {
        Fail("a key the machine does not model: " + Num(vk));
    }
}

// The close box, Close on the system menu and Alt+F4 all come as SC_CLOSE,
// which the dialog manager turns into IDCANCEL unless the procedure takes it.
static void PlayClose(Window *dlg)
{
    if (!Dispatch(dlg, WM_SYSCOMMAND, SC_CLOSE, 0))
        Command(dlg, IDCANCEL);
}

static bool PlayStep(Window *dlg)
{
    if (S().script.empty())
        return false;
    Step step = S().script.front();
    if (step.act == Act::Answer || Upper(step.dialog) != Upper(dlg->name) ||
        dlg->timerMessages < step.afterTimers)
        return false;
    S().script.pop_front();
    switch (step.act) {
    case Act::Key: PlayKey(dlg, (int)step.value); break;
    case Act::Close: PlayClose(dlg); break;
    case Act::Command: Dispatch(dlg, WM_COMMAND, step.value, 0); break;
    case Act::Click: {
        Window *c = Child(dlg, (int)step.value);
        if (!c || !(c->style & WS_VISIBLE) || !IsPushButton(c))
            Fail(dlg->name + " has no button " + Num((long long)step.value) + " to click");
        else
            Command(dlg, c->id);
        break;
    }
    case Act::Answer: break;
    }
    return true;
}

static void SaveInfo(Window *dlg)
{
    DialogInfo &info = S().dialogs[dlg->info];
    info.timerMessages = dlg->timerMessages;
    info.result = dlg->result;
}

// The modal loop: posted messages first, then the user's input, then the timer.
static INT_PTR RunModal(Window *dlg)
{
    const long kLimit = 1000000;
    for (long turn = 0; !dlg->ended; turn++) {
        if (turn > kLimit) {
            Fail(dlg->name + " never ends");
            break;
        }
        if (!dlg->posted.empty()) {
            Window::Msg m = dlg->posted.front();
            dlg->posted.pop_front();
            Dispatch(dlg, m.msg, m.w, m.l);
        } else if (PlayStep(dlg)) {
        } else if (dlg->timerOn) {
            dlg->timerMessages++;
            Dispatch(dlg, WM_TIMER, dlg->timerId, 0);
        } else {
            Fail(dlg->name + " waits for the user, and the script has nothing for it");
            dlg->result = -2;
            break;
        }
        SaveInfo(dlg);
    }
    SaveInfo(dlg);
    dlg->timerOn = false;
    return dlg->result;
}

}  // namespace detail

using namespace detail;

void RemoveTemplate(const std::string &name) { S().templates.erase(Upper(name)); }
void UnregisterProgressClass() { S().progressRegistered = false; }
const std::vector<DialogInfo> &Dialogs() { return S().dialogs; }

static void Push(Act act, const std::string &dialog, WPARAM value, int after)
{
    S().script.push_back(Step{act, dialog, value, after});
}

void Key(const std::string &dialog, int vk, int afterTimers) { Push(Act::Key, dialog, vk, afterTimers); }
void Click(const std::string &dialog, int id, int afterTimers) { Push(Act::Click, dialog, id, afterTimers); }
void CloseBox(const std::string &dialog, int afterTimers) { Push(Act::Close, dialog, 0, afterTimers); }
void Command(const std::string &dialog, WPARAM w, int afterTimers) { Push(Act::Command, dialog, w, afterTimers); }
void Answer(int button) { Push(Act::Answer, "", button, 0); }
bool ScriptDone() { return S().script.empty(); }

}  // namespace sim

using namespace sim;
using namespace sim::detail;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param)
{
    std::vector<std::string> args = {Named(instance),
                                     IS_INTRESOURCE(name) ? Num((uintptr_t)name) : Quote(name),
                                     WindowName(owner), "proc", Num(param)};
    auto refuse = [&](DWORD error) {
        S().lastError = error;
        Record("DialogBoxParamA", args, -1);
        return (INT_PTR)-1;
    };
    auto it = IS_INTRESOURCE(name) ? S().templates.end() : S().templates.find(Upper(name));
    if (instance != Module() || it == S().templates.end())
        return refuse(ERROR_RESOURCE_NAME_NOT_FOUND);
    auto owned = std::unique_ptr<Window>(new Window);
    Window *dlg = owned.get();
    dlg->name = name;
    dlg->proc = proc;
    S().windows.push_back(std::move(owned));
    bool ok = true;
    FillControlsFromTemplate(dlg, it->second, &ok);
    if (!ok)
        return refuse(ERROR_CANNOT_FIND_WND_CLASS);
    DialogInfo info{};
    info.name = name;
    dlg->info = S().dialogs.size();
    S().dialogs.push_back(info);

    // A TRUE answer would have the platform give the focus to the first tab
    // stop; the trace keeps the answer.
    Dispatch(dlg, WM_INITDIALOG, 0, param);
    INT_PTR result = RunModal(dlg);
    dlg->destroyed = true;
    Record("DialogBoxParamA", args, result);
    return result;
}

BOOL WINAPI EndDialog(HWND wnd, INT_PTR result)
{
    Window *dlg = AsWindow(wnd);
    BOOL ok = dlg && !dlg->parent;
    if (ok) {
        dlg->ended = true;
        dlg->result = result;
    }
    Record("EndDialog", {WindowName(wnd), Num(result)}, ok);
    return ok;
}

HWND WINAPI GetDlgItem(HWND wnd, int id)
{
    Window *dlg = AsWindow(wnd);
    Window *c = dlg ? Child(dlg, id) : nullptr;
    Record("GetDlgItem", {WindowName(wnd), Num(id)}, (intptr_t)c, c ? WindowName((HWND)c) : "");
    return (HWND)c;
}

// A dialog still running its modal loop, by template name.
static Window *LiveDialog(const std::string &name)
{
    for (const auto &w : S().windows)
        if (!w->parent && !w->destroyed && Upper(w->name) == Upper(name))
            return w.get();
    return nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    int answer = IDCANCEL;
    // The box's own loop still delivers commands sent to the program's
    // dialogs; keys and clicks cannot reach them while it is up.
    while (!S().script.empty() && S().script.front().act == Act::Command) {
        Window *dlg = LiveDialog(S().script.front().dialog);
        if (!dlg)
            break;
        WPARAM w = S().script.front().value;
        S().script.pop_front();
        Dispatch(dlg, WM_COMMAND, w, 0);
    }
    if (S().script.empty() || S().script.front().act != Act::Answer) {
        Fail(std::string("a message box nobody answers: ") + (caption ? caption : ""));
    } else {
        answer = (int)S().script.front().value;
        S().script.pop_front();
    }
    Record("MessageBoxA", {WindowName(owner), Quote(text), Quote(caption), Hex(style)}, answer);
    return answer;
}

UINT_PTR WINAPI SetTimer(HWND wnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    Window *dlg = AsWindow(wnd);
    UINT_PTR r = 0;
    if (dlg && !proc) {
        dlg->timerOn = true;
        dlg->timerId = id;
        r = id;
    } else {
        Fail("SetTimer: only a dialog's own timer without a procedure is modelled");
    }
    Record("SetTimer", {WindowName(wnd), Num(id), Num(elapse), proc ? "proc" : "NULL"}, (intptr_t)r);
    return r;
}

BOOL WINAPI KillTimer(HWND wnd, UINT_PTR id)
{
    Window *dlg = AsWindow(wnd);
    BOOL ok = dlg && dlg->timerOn && dlg->timerId == id;
    if (ok)
        dlg->timerOn = false;
    Record("KillTimer", {WindowName(wnd), Num(id)}, ok);
    return ok;
}

// The progress bar answers as the real control does; a step past either end
// of the range starts over from the other end.
LRESULT WINAPI SendMessageA(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    Window *win = AsWindow(wnd);
    LRESULT r = 0;
    if (win && Upper(win->cls) == "MSCTLS_PROGRESS32") {
        switch (msg) {
        case PBM_SETRANGE:
            r = MAKELONG(win->pmin, win->pmax);
            win->pmin = LOWORD(l);
            win->pmax = HIWORD(l);
            break;
        case PBM_SETSTEP:
            r = win->pstep;
            win->pstep = (int)w;
            break;
        case PBM_STEPIT:
            r = win->ppos;
            win->ppos += win->pstep;
            if (win->ppos > win->pmax)
                win->ppos = win->pmin;
            if (win->ppos < win->pmin)
                win->ppos = win->pmax;
            break;
        }
    } else {
        Fail("SendMessageA: only the progress bar's messages are modelled");
    }
    Record("SendMessageA", {WindowName(wnd), MessageName(msg), Num((long long)(intptr_t)w), Num(l)}, r);
    return r;
}

// Only the broadcast that win.ini changed is modelled; no other program runs
// to answer it.
LRESULT WINAPI SendMessageTimeoutA(HWND wnd, UINT msg, WPARAM w, LPARAM l, UINT flags, UINT timeout,
                                   DWORD_PTR *result)
{
    bool known = wnd == HWND_BROADCAST && msg == WM_WININICHANGE;
    if (!known)
        Fail("SendMessageTimeoutA: only the broadcast of WM_WININICHANGE is modelled");
    if (known && result)
        *result = 0;
    Record("SendMessageTimeoutA",
           {known ? "HWND_BROADCAST" : WindowName(wnd), MessageName(msg), Num((long long)w),
            known ? Quote((LPCSTR)l) : Num(l), flags == SMTO_ABORTIFHUNG ? "SMTO_ABORTIFHUNG" : Hex(flags),
            Num(timeout), result ? "result" : "NULL"},
           known);
    return known;
}

BOOL WINAPI PostMessageA(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    Window *dlg = AsWindow(wnd);
    BOOL ok = dlg && !dlg->parent && !dlg->destroyed;
    if (ok)
        dlg->posted.push_back(Window::Msg{msg, w, l});
    Record("PostMessageA", {WindowName(wnd), MessageName(msg), Num((long long)w), Num(l)}, ok);
    return ok;
}

void WINAPI InitCommonControls(void)
{
    S().progressRegistered = true;
    Record("InitCommonControls", {}, 0);
}

}  // extern "C"
