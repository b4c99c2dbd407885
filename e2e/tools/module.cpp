// A DLL that does nothing, copied over the printer's shell extension so that
// hold.exe can load it as Explorer would.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
