// Each test starts on a fresh simulated machine with the program's globals as
// the loader sets them, and ends with the user's script played to its end and
// no key, file or token left open.
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
// the tests' own. The program initialises them with constants, so they hold
// these values before any code runs, this read included.
struct ProgramStart {
    HINSTANCE hInstance;
    HANDLE hHeap;
    int confirmed, removed, tick;
    HWND hProgress;
};
inline const ProgramStart kProgramStart = {g_hInstance, g_hHeap, g_confirmed, g_removed, g_tick, g_hProgress};

class MachineTest : public ::testing::Test {
protected:
    // A table calls this again for each row: the row before must have played
    // out too, since Reset throws away its errors, its script and its handles.
    void SetUp() override
    {
        if (started_)
            ExpectPlayed("the row before this one");
        started_ = true;
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

    void TearDown() override { ExpectPlayed("the test"); }

private:
    static void ExpectPlayed(const char *what)
    {
        std::string errors;
        for (const std::string &e : sim::Errors())
            errors += "\n  " + e;
        EXPECT_EQ("", errors) << "the simulated machine could not play " << what;
        EXPECT_TRUE(sim::ScriptDone()) << "the user had more to do in " << what;
        EXPECT_EQ(std::vector<std::string>(), sim::OpenHandles()) << "left open by " << what;
    }

    bool started_ = false;
};

// An argument (the first by default) of each call of fn, unquoted; with
// stop, only the calls before the first call of stop.
inline std::vector<std::string> Args(const std::string &fn, size_t arg = 0, const std::string &stop = "")
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
