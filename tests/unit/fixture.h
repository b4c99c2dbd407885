// Each test starts on a fresh simulated machine with the program's globals as
// the loader sets them, and ends with the user's script played to its end.
#ifndef FIXTURE_H
#define FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "globals.h"
#include "machine.h"

// The program's globals as it starts with them, read before any test runs:
// every test begins from what the program itself sets, not from values of
// the tests' own. They are constants in the program, so they hold these
// values before any code runs, this read included.
struct ProgramStart {
    HINSTANCE hInstance;
    HANDLE hHeap;
    int confirmed, removed, tick;
    HWND hProgress;
};
inline const ProgramStart kProgramStart = {g_hInstance, g_hHeap, g_confirmed, g_removed, g_tick, g_hProgress};

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        g_hInstance = kProgramStart.hInstance;
        g_hHeap = kProgramStart.hHeap;
        g_confirmed = kProgramStart.confirmed;
        g_removed = kProgramStart.removed;
        g_tick = kProgramStart.tick;
        g_hProgress = kProgramStart.hProgress;
        g_message[0] = 0;
        g_caption[0] = 0;
    }

    void TearDown() override
    {
        EXPECT_TRUE(sim::Errors().empty()) << "the simulated machine could not play the test";
        EXPECT_TRUE(sim::ScriptDone()) << "the user had more to do";
    }
};

// An argument (the first by default) of each call of fn, unquoted; with
// stop, only the calls before the first call of stop.
inline std::vector<std::string> FirstArgs(const std::string &fn, size_t arg = 0, const std::string &stop = "")
{
    std::vector<std::string> out;
    for (const sim::Call &c : sim::Trace()) {
        if (c.fn == stop)
            break;
        if (c.fn != fn)
            continue;
        std::string a = c.args.at(arg);
        if (a.size() >= 2 && a.front() == '"' && a.back() == '"')
            a = a.substr(1, a.size() - 2);
        out.push_back(a);
    }
    return out;
}

#endif
