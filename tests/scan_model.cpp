// The instance scan's model: written from the rules of the scan, the miss
// count and the states Start, Examining, Searching and Ended.
#include "scan_model.h"

#include <cstdio>

#include "machine.h"

namespace scan_model {

namespace {

const char kPrinter[] = "Oxtrel Lintora 460D";

struct PassInfo {
    const char *base;
    const char *value;
    const char *decoy;  // the other pass's description
};
const PassInfo kPasses[2] = {
    {"Enum\\Root\\printer", "DeviceDesc", "DriverDesc"},
    {"System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc", "DeviceDesc"},
};

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

bool DescribesPrinter(const Instance &key)
{
    if (!key.described || (key.type != REG_SZ && key.type != REG_EXPAND_SZ) || key.description.size() > 260)
        return false;
    size_t end = key.description.find('\0');
    return end != std::string::npos && key.description.compare(0, end, kPrinter) == 0;
}

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
        if (next > 9999)
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
                state = misses > 100 ? Ended : Searching;
            }
        } else {
            if (!advance()) {
                state = Ended;
                continue;
            }
            misses += 1;  // before the open, whatever comes of it
            if (!open(current)) {
                state = misses > 100 ? Ended : Searching;
            } else {
                misses += 1;  // a hit costs one more
                if (misses > 100) {
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

std::string KeyPath(int pass, int n) { return "HKLM\\" + std::string(kPasses[pass].base) + "\\" + Number(n); }

void AddInstance(int pass, int n, const Instance &key)
{
    std::string path = KeyPath(pass, n);
    sim::AddKey(path);
    sim::SetString(path, kPasses[pass].decoy, kPrinter);
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
                if (c.args.at(1) != "\"" + std::string(kPasses[pass].value) + "\"" || c.args.at(2) != "260")
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
