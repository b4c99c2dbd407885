// The simulated Windows 95 machine: what a test sets up, plays and checks.
#ifndef SIM_MACHINE_H
#define SIM_MACHINE_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// ---- the trace: every API call, in order --------------------------------
struct Call {
    std::string fn;                // "RegDeleteKeyA", or "Dispatch" for a message a dialog procedure got
    std::vector<std::string> args; // rendered: strings in double quotes, handles by name
    intptr_t result;
    std::string named;             // the result's name where it is a handle: <heap>, <C:\WINDOWS\WININIT.INI>
    std::string str() const;       // RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\X") = 0, HeapCreate(0x0, 0, 0) = <heap>
};
const std::vector<Call> &Trace();
std::vector<Call> Calls(const std::string &fn);   // the calls of one function, in order
std::vector<std::string> Lines(const std::string &fn);
int IndexOf(const std::string &fn, int nth = 0);  // position in the trace, -1 if absent
void ClearTrace();

// Whatever the machine could not play: an unscripted question, a stalled dialog.
const std::vector<std::string> &Errors();

// The keys, files and tokens opened and not closed, by their names in the trace.
std::vector<std::string> OpenHandles();

// ---- the machine ---------------------------------------------------------
void Reset();                       // a fresh, empty Windows 95 machine
void SetNtFamily(bool nt);          // an NT-family Windows: RegDeleteKeyA refuses a key with subkeys,
                                    // DeleteFileA refuses a file in use or open with ERROR_SHARING_VIOLATION,
                                    // MoveFileExA queues deletions for the restart, and ExitWindowsEx
                                    // restarts only once the shutdown privilege is enabled
HINSTANCE Module();                 // the program's module handle

// Registry. Paths start with a root: HKLM, HKCU, HKCR or HKCC
// ("HKLM\\Enum\\Root\\printer\\0000"); HKCR and HKCC are aliases into HKLM.
void AddKey(const std::string &path);
void SetString(const std::string &key, const std::string &name, const std::string &value);
void SetValue(const std::string &key, const std::string &name, DWORD type, const std::string &bytes);
bool KeyExists(const std::string &path);
void DenyOpen(const std::string &path);
void DenyDelete(const std::string &path);
void DeleteRefusedSilently(const std::string &path); // delete reports success, key stays
std::string DumpRegistry();         // every key and value, one per line, sorted

// Files. Paths as Windows writes them, case-insensitive.
void AddDir(const std::string &path);
void AddFile(const std::string &path, const std::string &bytes = "");
bool Exists(const std::string &path);
std::string FileBytes(const std::string &path);
void SetReadOnly(const std::string &path);
void SetInUse(const std::string &path);   // a running program or a loaded DLL
std::vector<std::string> DelayedDeletions();  // queued by MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)
void SetSystemDirectory(const std::string &path);  // need not exist
void SetWindowsDirectory(const std::string &path);
void FailWritesAfter(long bytes);   // the disk fills after that many more bytes; -1: never
void FailCall(const std::string &fn, int nth);  // the nth call of MoveFileA, CloseHandle, ReadFile or
                                                // ExitWindowsEx from now fails
void ShortRead(int nth);            // the nth ReadFile from now gets half its bytes, and its file then ends there
void ShortWrite(int nth);           // the nth WriteFile from now writes half its bytes, and reports success
void GrowBeforeRead(int nth, const std::string &bytes);  // before the nth ReadFile from now, another
                                                         // program adds bytes to the end of its file
bool FailureStruck();               // one of the above has failed a call, withheld bytes or grown a file since Reset
std::string DumpFiles();            // every folder and file with its bytes' digest

// Dialogs.
void RemoveTemplate(const std::string &name);
void UnregisterProgressClass();

struct DialogInfo {
    std::string name;
    int timerMessages;  // WM_TIMER messages delivered
    INT_PTR result;
};
const std::vector<DialogInfo> &Dialogs();  // every dialog created, in order

// ---- the user ------------------------------------------------------------
// Input for the named dialog, played once that dialog's loop has delivered
// afterTimers timer messages. Steps are played strictly in the order given.
void Key(const std::string &dialog, int vk, int afterTimers = 0);
void Click(const std::string &dialog, int id, int afterTimers = 0);
void CloseBox(const std::string &dialog, int afterTimers = 0);
void Command(const std::string &dialog, WPARAM wParam, int afterTimers = 0);
void Answer(int button);            // the answer to the next message box
bool ScriptDone();

bool RestartRequested();

// Runs the program's entry as the start-up would.
inline int RunProgram()
{
    char tail[] = "";
    return WinMain(Module(), NULL, tail, SW_SHOWDEFAULT);
}

}  // namespace sim

#endif
