// The call trace and the machine's own complaints.
#include <cstdio>

#include "state.h"

namespace sim {
namespace detail {

void Record(const std::string &fn, std::vector<std::string> args, intptr_t result, const std::string &named)
{
    S().trace.push_back(Call{fn, std::move(args), result, named});
}

void Fail(const std::string &what)
{
    std::fprintf(stderr, "simulated machine: %s\n", what.c_str());
    S().errors.push_back(what);
}

std::string Quote(const char *s)
{
    return s ? "\"" + std::string(s) + "\"" : "NULL";
}

std::string Num(long long v)
{
    return std::to_string(v);
}

std::string Hex(unsigned long long v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", v);
    return buf;
}

}  // namespace detail

using namespace detail;

std::string Call::str() const
{
    std::string s = fn + "(";
    for (size_t i = 0; i < args.size(); i++)
        s += (i ? ", " : "") + args[i];
    return s + ") = " + (named.empty() ? std::to_string(result) : named);
}

const std::vector<Call> &Trace() { return S().trace; }

std::vector<Call> Calls(const std::string &fn)
{
    std::vector<Call> out;
    for (const Call &c : S().trace)
        if (c.fn == fn)
            out.push_back(c);
    return out;
}

std::vector<std::string> Lines(const std::string &fn)
{
    std::vector<std::string> out;
    for (const Call &c : Calls(fn))
        out.push_back(c.str());
    return out;
}

int IndexOf(const std::string &fn, int nth)
{
    const auto &t = S().trace;
    for (size_t i = 0; i < t.size(); i++)
        if (t[i].fn == fn && nth-- == 0)
            return (int)i;
    return -1;
}

void ClearTrace() { S().trace.clear(); }

const std::vector<std::string> &Errors() { return S().errors; }

}  // namespace sim
