// The instance scan against a model of its rules: for many random layouts of
// instance keys, the scan opens, reads, closes unread and deletes exactly
// what the model says it should.
#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "fixture.h"
#include "removal.h"

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

enum Kind {
    kOther,         // another printer's description
    kMatch,         // the printer's description
    kRefused,       // the printer's; its deletion reports success and the key stays
    kDenyDelete,    // the printer's; its deletion fails
    kNoValue,       // no description
    kTooLong,       // the printer's name padded to 260 characters
    kUnterminated,  // the printer's name without its terminating zero
    kBinary,        // the printer's name and a zero, as REG_BINARY
    kNumber,        // a REG_DWORD whose bytes spell "Oxtr"
    kDenied,        // the printer's, but the key cannot be opened
};
const int kKinds = kDenied + 1;

bool Matches(Kind k) { return k == kMatch || k == kRefused || k == kDenyDelete; }

std::string Number(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

// ---- the model --------------------------------------------------------------

// What one pass does over a layout, as events: "open N = rc", "read N",
// "delete N = rc", "unread N". Written from the rules of the scan: the miss
// count and the states Start, Examining, Searching and Ended.
std::vector<std::string> ModelPass(std::map<int, Kind> keys)
{
    std::vector<std::string> events;
    auto open = [&](int n) {
        auto it = keys.find(n);
        int rc = it == keys.end() ? 2 : it->second == kDenied ? 5 : 0;
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
            Kind kind = keys.at(current);
            bool hit;
            if (Matches(kind) && !deletedOnce) {
                int rc = kind == kDenyDelete ? 5 : 0;
                events.push_back("delete " + Number(current) + " = " + std::to_string(rc));
                if (kind == kMatch)
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

// ---- the machine ------------------------------------------------------------

std::string KeyPath(int pass, int n) { return "HKLM\\" + std::string(kPasses[pass].base) + "\\" + Number(n); }

void AddInstance(int pass, int n, Kind kind)
{
    std::string key = KeyPath(pass, n);
    const char *value = kPasses[pass].value;
    sim::AddKey(key);
    sim::SetString(key, kPasses[pass].decoy, kPrinter);
    switch (kind) {
    case kOther: sim::SetString(key, value, "Oxtrel Lintora 460"); break;
    case kMatch: sim::SetString(key, value, kPrinter); break;
    case kRefused:
        sim::SetString(key, value, kPrinter);
        sim::DeleteRefusedSilently(key);
        break;
    case kDenyDelete:
        sim::SetString(key, value, kPrinter);
        sim::DenyDelete(key);
        break;
    case kNoValue: break;
    case kTooLong: sim::SetString(key, value, std::string(kPrinter) + std::string(241, ' ')); break;
    case kUnterminated: sim::SetValue(key, value, REG_SZ, kPrinter); break;
    case kBinary: sim::SetValue(key, value, REG_BINARY, std::string(kPrinter) + '\0'); break;
    case kNumber: sim::SetValue(key, value, REG_DWORD, "Oxtr"); break;
    case kDenied:
        sim::SetString(key, value, kPrinter);
        sim::DenyOpen(key);
        break;
    }
}

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

// The events of both passes as the trace shows them; a call that fits no
// event is shown whole so the comparison fails on it.
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

// The first difference between the model's events and the scan's.
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

std::string Describe(const std::map<int, Kind> &keys)
{
    std::string out;
    for (const auto &k : keys)
        out += Number(k.first) + ":" + std::to_string(k.second) + " ";
    return out;
}

// A random layout over 0000-0300: sometimes empty, sometimes sparse, sometimes
// nearly every number, with a key now and then where the budget runs out.
std::map<int, Kind> RandomLayout(std::mt19937 &random)
{
    static const double kDensities[] = {0.0, 0.01, 0.03, 0.1, 0.3, 0.6, 0.9, 0.97, 1.0};
    static const int kWeights[kKinds] = {40, 20, 8, 4, 3, 3, 3, 3, 3, 8};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::discrete_distribution<int> kind(std::begin(kWeights), std::end(kWeights));
    double density = kDensities[std::uniform_int_distribution<int>(0, 8)(random)];
    std::map<int, Kind> keys;
    for (int n = 0; n <= 300; n++)
        if (unit(random) < density)
            keys[n] = (Kind)kind(random);
    if (unit(random) < 0.3)
        keys[std::uniform_int_distribution<int>(95, 105)(random)] = (Kind)kind(random);
    return keys;
}

class ScanModelTest : public MachineTest {};

TEST_F(ScanModelTest, RandomLayoutsFollowTheRules)
{
    std::mt19937 random(1234);
    int examined = 0, deletions = 0, unread = 0;
    for (int layout = 0; layout < 400; layout++) {
        SetUp();
        std::map<int, Kind> keys[2] = {RandomLayout(random), RandomLayout(random)};
        for (int pass = 0; pass < 2; pass++)
            for (const auto &k : keys[pass])
                AddInstance(pass, k.first, k.second);

        ScanInstanceKeys();

        for (int pass = 0; pass < 2; pass++) {
            std::vector<std::string> model = ModelPass(keys[pass]);
            std::string difference = FirstDifference(model, Recorded(pass));
            ASSERT_EQ("", difference) << "layout " << layout << ", pass " << pass + 1 << ": "
                                      << Describe(keys[pass]);
            for (const std::string &e : model) {
                examined += e.compare(0, 4, "read") == 0;
                deletions += e.compare(0, 6, "delete") == 0;
                unread += e.compare(0, 6, "unread") == 0;
            }
            // Only the printer's keys whose deletion took are gone.
            std::set<std::string> events(model.begin(), model.end());
            for (const auto &k : keys[pass]) {
                bool deleted = k.second == kMatch && events.count("delete " + Number(k.first) + " = 0");
                ASSERT_EQ(!deleted, sim::KeyExists(KeyPath(pass, k.first)))
                    << "layout " << layout << ", " << KeyPath(pass, k.first);
            }
        }
    }
    RecordProperty("examined", examined);
    RecordProperty("deletions", deletions);
    RecordProperty("unread", unread);
    // The layouts reached every part of the rules.
    EXPECT_GT(examined, 10000);
    EXPECT_GT(deletions, 1000);
    EXPECT_GT(unread, 10);
}

// The model itself, on layouts whose outcome is known by heart.
TEST(ScanModelSelfTest, ModelKnowsTheBudget)
{
    EXPECT_EQ(102u, ModelPass({}).size());
    std::vector<std::string> closed = ModelPass({{101, kMatch}});
    EXPECT_EQ("unread 0101", closed.back());
    std::vector<std::string> three = ModelPass({{0, kMatch}, {1, kMatch}, {2, kMatch}});
    int opens = 0;
    for (const std::string &e : three)
        opens += e.compare(0, 4, "open") == 0;
    EXPECT_EQ(100, opens);
    std::vector<std::string> refused = ModelPass({{0, kRefused}});
    EXPECT_EQ(std::vector<std::string>({"open 0000 = 0", "read 0000", "delete 0000 = 0", "open 0000 = 0",
                                        "read 0000", "open 0001 = 2", "open 0002 = 2"}),
              std::vector<std::string>(refused.begin(), refused.begin() + 7));
}

}  // namespace
