// The simulated machine's insides, shared by its parts.
#ifndef SIM_STATE_H
#define SIM_STATE_H

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {
namespace detail {

struct RegValue {
    std::string name;  // as written
    DWORD type;
    std::string data;
};

struct RegKey {
    std::string name;  // as written
    std::map<std::string, RegValue> values;                  // by upper-case name
    std::map<std::string, std::unique_ptr<RegKey>> children; // by upper-case name
    bool denyOpen = false;
    bool denyDelete = false;
    bool fakeDelete = false;
};

struct FileNode {
    std::string path;  // as written
    bool dir = false;
    std::string data;
    bool readOnly = false;
    bool inUse = false;
};

struct OpenFile {
    std::string key;   // upper-case path
    std::string path;  // as the program named it, the trace's name for the handle
    bool write;
    size_t pos;
    size_t end = std::string::npos;  // a short read made the file end here for this handle
    bool deleted = false;            // Windows 95 deleted its file while it was open
};

struct Window {
    std::string name;          // template name, or the dialog's for a control
    Window *parent = nullptr;
    int id = 0;
    std::string cls;
    DWORD style = 0;
    std::vector<Window *> children;
    DLGPROC proc = nullptr;
    bool ended = false;
    bool destroyed = false;  // the dialog's loop has returned
    INT_PTR result = 0;
    bool timerOn = false;
    UINT_PTR timerId = 0;
    int timerMessages = 0;
    struct Msg { UINT msg; WPARAM w; LPARAM l; };
    std::deque<Msg> posted;
    int pmin = 0, pmax = 100, pstep = 10, ppos = 0;  // a progress bar's state
    size_t info = 0;                                   // index into Dialogs()
};

enum class Act { Key, Click, Close, Command, Answer };
struct Step {
    Act act;
    std::string dialog;
    WPARAM value;
    int afterTimers;
};

struct State {
    std::unique_ptr<RegKey> hklm, hkcu;
    bool nt = false;
    std::map<uintptr_t, std::string> openKeys;
    uintptr_t nextKey = 0x1000;

    std::map<std::string, FileNode> files;
    std::map<uintptr_t, OpenFile> openFiles;
    uintptr_t nextFile = 0x100;
    std::string systemDir, windowsDir;
    long writeBudget = -1;
    std::map<std::string, int> failCountdown;  // calls left until the one that fails
    bool failureStruck = false;
    std::string growth;  // what GrowBeforeRead adds
    unsigned tempCounter = 0;
    std::vector<std::string> delayedDeletions;

    std::vector<Call> trace;
    std::vector<std::string> errors;
    std::deque<Step> script;
    std::vector<std::unique_ptr<Window>> windows;
    std::vector<DialogInfo> dialogs;
    std::map<std::string, std::string> templates;  // their bytes, by upper-case name
    bool progressRegistered = true;

    bool restart = false;
    std::set<uintptr_t> tokens;    // open process tokens
    bool shutdownPrivilege = false;  // enabled in the process's token
    DWORD lastError = 0;
    int heaps = 0;
};

State &S();
HANDLE const kCurrentProcess = (HANDLE)(intptr_t)-1;  // GetCurrentProcess's pseudo-handle
std::string Named(HANDLE h);  // the trace's name for a handle the machine handed out
// ok, with error as the last error when it is FALSE.
inline BOOL Result(BOOL ok, DWORD error)
{
    if (!ok)
        S().lastError = error;
    return ok;
}
FARPROC TokenFunction(const std::string &name);  // ADVAPI32's, as GetProcAddress finds them
bool FailsNow(const std::string &fn);  // this call of fn is the one FailCall chose
std::string Upper(const std::string &s);
void Record(const std::string &fn, std::vector<std::string> args, intptr_t result, const std::string &named = "");
void Fail(const std::string &what);
std::string Quote(const char *s);
std::string Num(long long v);
std::string Hex(unsigned long long v);
std::string WindowName(HWND w);
Window *AsWindow(HWND w);
std::map<std::string, std::string> LoadTemplates();  // from the compiled resources
void FillControlsFromTemplate(Window *dlg, const std::string &bytes, bool *ok);

}  // namespace detail
}  // namespace sim

#endif
