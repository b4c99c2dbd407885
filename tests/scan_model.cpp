// The instance scan's model: written from the rules of the scan, the miss
// count and the states Start, Examining, Searching and Ended.
#include "scan_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>
#include <set>

#include "machine.h"

namespace scan_model {

const char kPrinter[] = "Oxtrel Lintora 460D";
const Pass kPasses[2] = {
    {"Enum\\Root\\printer", "DeviceDesc", "DriverDesc"},
    {"System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc", "DeviceDesc"},
};

namespace {

const size_t kBuffer = 260;  // the description's, terminator and all
const int kLast = 9999;      // instance numbers have four digits

// The instance number at the end of a rendered name or handle of the pass, or
// -1 if it is not the pass's base, a backslash and four digits.
int NumberIn(const std::string &rendered, int pass)
{
    std::string inner = rendered.substr(1, rendered.size() - 2);  // quotes or <>
    if (rendered[0] == '<')
        inner = inner.substr(5);  // "HKLM\"
    std::string base = std::string(kPasses[pass].base) + "\\";
    if (inner.size() != base.size() + 4 || inner.compare(0, base.size(), base) != 0)
        return -1;
    int n = 0;
    for (size_t i = base.size(); i < inner.size(); i++) {
        if (inner[i] < '0' || inner[i] > '9')
            return -1;
        n = n * 10 + (inner[i] - '0');
    }
    return n;
}

}  // namespace

std::string Number(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

Instance::Instance(Kind kind) : description(std::string(kPrinter) + '\0')
{
    switch (kind) {
    case kOther: description = "Oxtrel Lintora 460" + std::string(1, '\0'); break;
    case kMatch: break;
    case kRefused: deletion = kRefusedSilently; break;
    case kDenyDelete: deletion = kDenied; break;
    case kNoValue: described = false; break;
    case kTooLong: description = std::string(kPrinter) + std::string(241, ' ') + '\0'; break;
    case kUnterminated: description = kPrinter; break;
    case kBinary: type = REG_BINARY; break;
    case kNumber: type = REG_DWORD, description = "Oxtr"; break;
    case kLocked: opens = false; break;
    }
}

Instance Text(const std::string &description, DWORD type) { return Bytes(type, description + '\0'); }

Instance Bytes(DWORD type, const std::string &bytes)
{
    Instance key;
    key.type = type;
    key.description = bytes;
    return key;
}

Layout Run(int from, int to, Layout others)
{
    for (int n = from; n <= to; n++)
        others.emplace(n, kOther);
    return others;
}

namespace {

// Whether the scan compares the key's description: text that fits the buffer
// with its terminator. It is the printer's if it then reads exactly as the
// printer's name.
bool Readable(const Instance &key)
{
    return key.described && (key.type == REG_SZ || key.type == REG_EXPAND_SZ) && key.description.size() <= kBuffer &&
           key.description.find('\0') != std::string::npos;
}

bool DescribesPrinter(const Instance &key) { return Readable(key) && key.description.c_str() == std::string(kPrinter); }

// The script with each number written from the budget (2B+50) in four digits.
std::string FromBudget(const std::string &script)
{
    static const std::regex kFromBudget("(\\d*)B([+-]\\d+)?");
    std::string out;
    auto rest = script.begin();
    for (std::sregex_iterator m(script.begin(), script.end(), kFromBudget), end; m != end; ++m) {
        const std::string times = (*m)[1], plus = (*m)[2];
        int n = (times.empty() ? 1 : std::stoi(times)) * kMissBudget + (plus.empty() ? 0 : std::stoi(plus));
        out.append(rest, (*m)[0].first) += Number(n);
        rest = (*m)[0].second;
    }
    return out.append(rest, script.end());
}

}  // namespace

std::vector<std::string> ModelPass(Layout keys)
{
    std::vector<std::string> events;
    auto open = [&](int n) {
        auto it = keys.find(n);
        int rc = it == keys.end() ? 2 : !it->second.opens ? 5 : 0;
        events.push_back("open " + Number(n) + " = " + std::to_string(rc));
        return rc == 0;
    };

    enum { Start, Examining, Searching, Ended } state = Start;
    int current = 0;          // the number in the name buffer
    int next = 1;             // the number the next name is built from
    int misses = 0;
    bool deletedOnce = false; // the key at current was deleted, and is still there
    // The next name; false once the four digits run out.
    auto advance = [&] {
        if (next > kLast)
            return false;
        current = next++;
        deletedOnce = false;
        return true;
    };
    while (state != Ended) {
        if (state == Start) {
            // A missing starting name costs nothing.
            state = open(0) ? Examining : Searching;
        } else if (state == Examining) {
            events.push_back("read " + Number(current));
            const Instance &key = keys.at(current);
            bool hit;
            if (DescribesPrinter(key) && !deletedOnce) {
                int rc = key.deletion == Instance::kDenied ? 5 : 0;
                events.push_back("delete " + Number(current) + " = " + std::to_string(rc));
                if (key.deletion == Instance::kTaken)
                    keys.erase(current);
                deletedOnce = true;
                hit = open(current);
            } else {
                if (!advance()) {
                    state = Ended;
                    continue;
                }
                hit = open(current);
            }
            // An open after an examined key: a hit is free, a failure costs one.
            if (!hit) {
                misses += 1;
                state = misses > kMissBudget ? Ended : Searching;
            }
        } else {
            if (!advance()) {
                state = Ended;
                continue;
            }
            misses += 1;  // before the open, whatever comes of it
            if (!open(current)) {
                state = misses > kMissBudget ? Ended : Searching;
            } else {
                misses += 1;  // a hit costs one more
                if (misses > kMissBudget) {
                    events.push_back("unread " + Number(current));
                    state = Ended;
                } else {
                    state = Examining;
                }
            }
        }
    }
    return events;
}

std::vector<std::string> Events(const std::string &written)
{
    std::vector<std::string> events;
    const std::string script = FromBudget(written);
    for (size_t start = 0, end = 0; start < script.size(); start = end + 2) {
        end = std::min(script.find("; ", start), script.size());
        std::string item = script.substr(start, end - start);
        int from = -1, to = -1;  // once, as it is, without a range
        size_t range = item.find(" for ");
        if (range != std::string::npos) {
            std::sscanf(item.c_str() + range + 5, "%d..%d", &from, &to);
            item.erase(range);
        }
        for (int n = from; n <= to; n++) {
            std::string text = item;
            for (size_t at; n >= 0 && (at = text.find('N')) != std::string::npos;)
                text.replace(at, 1, Number(n));
            for (size_t first = 0, last = 0; first < text.size(); first = last + 2) {
                last = std::min(text.find(", ", first), text.size());
                events.push_back(text.substr(first, last - first));
            }
        }
    }
    return events;
}

int Count(const std::vector<std::string> &events, const std::string &verb)
{
    int count = 0;
    for (const std::string &e : events)
        count += e.compare(0, verb.size() + 1, verb + " ") == 0;
    return count;
}

std::string KeyName(int pass, int n) { return std::string(kPasses[pass].base) + "\\" + Number(n); }
std::string KeyPath(int pass, int n) { return "HKLM\\" + KeyName(pass, n); }

void AddInstance(int pass, int n, const Instance &key)
{
    std::string path = KeyPath(pass, n);
    sim::SetString(path, kPasses[pass].decoy, kPrinter);  // makes the key
    if (key.described)
        sim::SetValue(path, kPasses[pass].value, key.type, key.description);
    if (!key.opens)
        sim::DenyOpen(path);
    if (key.deletion == Instance::kRefusedSilently)
        sim::DeleteRefusedSilently(path);
    if (key.deletion == Instance::kDenied)
        sim::DenyDelete(path);
}

std::vector<std::string> Recorded(int pass)
{
    std::vector<std::string> events;
    std::string last;  // the previous registry call
    for (const sim::Call &c : sim::Trace()) {
        std::string event;
        if (c.fn == "RegOpenKeyExA") {
            int n = NumberIn(c.args.at(1), pass);
            if (n >= 0)
                event = "open " + Number(n) + " = " + std::to_string(c.result);
            else if (NumberIn(c.args.at(1), 1 - pass) < 0)
                event = c.str();
        } else if (c.fn == "RegQueryValueExA") {
            int n = NumberIn(c.args.at(0), pass);
            if (n >= 0) {
                event = "read " + Number(n);
                if (c.args.at(1) != "\"" + std::string(kPasses[pass].value) + "\"" ||
                    c.args.at(2) != std::to_string(kBuffer))
                    event = c.str();
            }
        } else if (c.fn == "RegCloseKey") {
            int n = NumberIn(c.args.at(0), pass);
            if (n >= 0 && last == "RegOpenKeyExA")
                event = "unread " + Number(n);
            else if (n >= 0 && last != "RegQueryValueExA")
                event = c.str();  // closed twice, or never opened
        } else if (c.fn == "RegDeleteKeyA") {
            int n = NumberIn(c.args.at(1), pass);
            if (n >= 0)
                event = "delete " + Number(n) + " = " + std::to_string(c.result);
            else if (NumberIn(c.args.at(1), 1 - pass) < 0)
                event = c.str();
        }
        if (c.fn.compare(0, 3, "Reg") == 0)
            last = c.fn;
        if (!event.empty())
            events.push_back(event);
    }
    return events;
}

std::vector<std::string> TraceLines(int pass, const Layout &keys, const std::vector<std::string> &events)
{
    std::vector<std::string> lines;
    for (const std::string &e : events) {
        char text[8] = "";
        int n = -1, rc = 0;
        std::sscanf(e.c_str(), "%7s %d = %d", text, &n, &rc);
        const std::string verb = text, name = "\"" + KeyName(pass, n) + "\"", handle = "<" + KeyPath(pass, n) + ">";
        auto key = keys.find(n);
        if (verb == "open") {
            lines.push_back("RegOpenKeyExA(HKEY_LOCAL_MACHINE, " + name + ", 0, KEY_QUERY_VALUE) = " +
                            std::to_string(rc));
        } else if (verb == "delete") {
            lines.push_back("RegDeleteKeyA(HKEY_LOCAL_MACHINE, " + name + ") = " + std::to_string(rc));
        } else if (verb == "unread" && key != keys.end()) {
            lines.push_back("RegCloseKey(" + handle + ") = 0");
        } else if (verb == "read" && key != keys.end()) {
            // What the platform answers for a value that is missing or does not fit.
            const Instance &k = key->second;
            int read = !k.described ? ERROR_FILE_NOT_FOUND : k.description.size() > kBuffer ? ERROR_MORE_DATA : 0;
            lines.push_back("RegQueryValueExA(" + handle + ", \"" + kPasses[pass].value + "\", " +
                            std::to_string(kBuffer) + ") = " + std::to_string(read));
            lines.push_back("RegCloseKey(" + handle + ") = 0");
            int order = std::strcmp(k.description.c_str(), kPrinter);
            if (Readable(k))
                lines.push_back("lstrcmpA(\"" + std::string(k.description.c_str()) + "\", \"" + kPrinter +
                                "\") = " + std::to_string(order < 0 ? -1 : order > 0));
        } else {
            lines.push_back(e);  // no such call: let the comparison fail on it
        }
    }
    return lines;
}

std::vector<std::string> RecordedLines()
{
    static const std::set<std::string> kShown = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "lstrcmpA",
                                                 "RegDeleteKeyA"};
    std::vector<std::string> lines;
    for (const sim::Call &c : sim::Trace())
        if (kShown.count(c.fn))
            lines.push_back(c.str());
    return lines;
}

std::string FirstStrayCall()
{
    static const std::set<std::string> kAllowed = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "lstrcmpA",
                                                   "RegDeleteKeyA", "lstrcpyA", "lstrcatA"};
    const sim::Call *last = nullptr;
    for (const sim::Call &c : sim::Trace()) {
        // A refused deletion asks whether this is the NT family, which would
        // take the key's subkeys first.
        bool asked = c.fn == "GetVersion" && last && last->fn == "RegDeleteKeyA" && last->result != 0;
        if (!kAllowed.count(c.fn) && !asked)
            return c.str();
        last = &c;
    }
    return "";
}

std::string FirstKeyAmiss(int pass, const Layout &keys, const std::vector<std::string> &events)
{
    std::set<std::string> happened(events.begin(), events.end());
    for (const auto &k : keys) {
        bool deleted = k.second.deletion == Instance::kTaken && happened.count("delete " + Number(k.first) + " = 0");
        if (sim::KeyExists(KeyPath(pass, k.first)) == deleted)
            return KeyPath(pass, k.first) + (deleted ? " is still there" : " is gone");
    }
    return "";
}

std::string FirstDifference(const std::vector<std::string> &model, const std::vector<std::string> &made)
{
    size_t i = 0;
    while (i < model.size() && i < made.size() && model[i] == made[i])
        i++;
    if (i == model.size() && i == made.size())
        return "";
    return "at event " + std::to_string(i) + ": model " + (i < model.size() ? model[i] : "(end)") + ", scan " +
           (i < made.size() ? made[i] : "(end)");
}

}  // namespace scan_model
