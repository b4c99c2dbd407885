// Setting up the machine under test where the API being checked has no call
// for it. Two implementations, chosen by the build: machine_sim.cpp on the
// simulated machine, machine_win.cpp on Windows (or Wine).
#ifndef PLATFORM_TEST_MACHINE_H
#define PLATFORM_TEST_MACHINE_H

#include <windows.h>

#include <string>

#include "check.h"

namespace machine {

// A fresh machine. nt asks for NT-family registry semantics; on Windows the
// mode is the installed system's (under Wine, the prefix's Version setting).
check::Side Start(bool nt);
bool MakeKey(HKEY root, const char *path);  // with the keys above it
bool SetString(HKEY root, const char *path, const char *name, const char *value);
bool MakeDir(const char *path);
std::string Problems();  // what the machine itself reported as wrong, "" if nothing

}  // namespace machine

#endif
