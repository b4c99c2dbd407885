#include "check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace check {
namespace {

Side g_side = Side::Sim;
std::string g_case;
std::vector<std::string> g_failures, g_known, g_notes;
std::vector<bool> g_todos;  // the open todo blocks: is the difference expected here?
int g_passed = 0, g_failed = 0, g_differences = 0;

std::string Format(const char *fmt, va_list args)
{
    char text[2048];
    std::vsnprintf(text, sizeof text, fmt, args);
    return text;
}

void EndCase()
{
    if (g_case.empty())
        return;
    bool failed = !g_failures.empty(), known = !g_known.empty();
    std::printf("%s %s\n", failed ? "FAIL" : known ? "KNOWN-DIFFERENCE" : "PASS", g_case.c_str());
    for (const std::string &f : g_failures)
        std::printf("    %s\n", f.c_str());
    for (const std::string &k : g_known)
        std::printf("    %s\n", k.c_str());
    for (const std::string &n : g_notes)
        std::printf("    note: %s\n", n.c_str());
    ++(failed ? g_failed : known ? g_differences : g_passed);
    g_case.clear();
    g_failures.clear();
    g_known.clear();
    g_notes.clear();
    std::fflush(stdout);
}

}  // namespace

void SetSide(Side side) { g_side = side; }
Side Where() { return g_side; }
const char *SideName(Side side)
{
    return side == Side::Sim ? "sim" : side == Side::Wine ? "wine" : "windows";
}
bool OnWine() { return g_side == Side::Wine; }

void Case(const char *name)
{
    EndCase();
    g_case = name;
}

void Note(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    g_notes.push_back(Format(fmt, args));
    va_end(args);
}

bool Ok(const char *file, int line, bool cond, const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string where = std::string(file).substr(std::string(file).find_last_of("/\\") + 1) + ":" +
                        std::to_string(line) + ": ";
    std::string what = Format(fmt, args);
    va_end(args);
    if (std::count(g_todos.begin(), g_todos.end(), true)) {
        if (cond)
            g_failures.push_back(where + "known difference on " + SideName(g_side) +
                                 " no longer seen, remove the mark: " + what);
        else
            g_known.push_back(where + "known difference on " + SideName(g_side) + ": " + what);
    } else if (!cond) {
        g_failures.push_back(where + what);
    }
    return cond;
}

void TodoBegin(bool known) { g_todos.push_back(known); }
void TodoEnd() { g_todos.pop_back(); }

int Finish()
{
    EndCase();
    std::printf("# %d passed, %d failed, %d known differences\n", g_passed, g_failed, g_differences);
    std::fflush(stdout);
    return g_failed;
}

}  // namespace check
