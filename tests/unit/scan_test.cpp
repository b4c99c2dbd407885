// The instance scan: which numbered keys it opens, reads and deletes, in
// which order, and how it passes over keys it cannot read or cannot delete.
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include <unistd.h>

#include "fixture.h"
#include "removal.h"

namespace {

const char kPrinter[] = "Oxtrel Lintora 460D";
const char kOther[] = "Other Printer 100";

struct PassInfo {
    const char *base;   // under HKEY_LOCAL_MACHINE
    const char *value;  // the description the pass compares
    const char *decoy;  // the other pass's description, set to the printer's name
};
const PassInfo kPasses[2] = {
    {"Enum\\Root\\printer", "DeviceDesc", "DriverDesc"},
    {"System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc", "DeviceDesc"},
};

std::string Number(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

std::string KeyName(int pass, int n) { return std::string(kPasses[pass].base) + "\\" + Number(n); }
std::string KeyPath(int pass, int n) { return "HKLM\\" + KeyName(pass, n); }

// An instance key with the pass's description; the other pass's description
// names the printer, so only the right value can make it match.
void AddInstance(int pass, int n, const std::string &description, DWORD type = REG_SZ)
{
    sim::SetValue(KeyPath(pass, n), kPasses[pass].value, type, description + '\0');
    sim::SetString(KeyPath(pass, n), kPasses[pass].decoy, kPrinter);
}

int Sign(int r) { return r < 0 ? -1 : r > 0 ? 1 : 0; }

std::string OpenLine(int pass, int n, int rc)
{
    return "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"" + KeyName(pass, n) + "\", 0, KEY_QUERY_VALUE) = " +
           std::to_string(rc);
}
std::string ReadLine(int pass, int n, int rc = 0)
{
    return "RegQueryValueExA(<" + KeyPath(pass, n) + ">, \"" + kPasses[pass].value + "\", 260) = " +
           std::to_string(rc);
}
std::string CloseLine(int pass, int n) { return "RegCloseKey(<" + KeyPath(pass, n) + ">) = 0"; }
std::string CompareLine(const std::string &description)
{
    return "lstrcmpA(\"" + description + "\", \"" + kPrinter + "\") = " +
           std::to_string(Sign(std::strcmp(description.c_str(), kPrinter)));
}
std::string DeleteLine(int pass, int n, int rc = 0)
{
    return "RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"" + KeyName(pass, n) + "\") = " + std::to_string(rc);
}

// The scan's registry calls and comparisons, in order, as the trace renders them.
std::vector<std::string> ScanLines()
{
    static const std::set<std::string> kShown = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey",
                                                 "lstrcmpA", "RegDeleteKeyA"};
    std::vector<std::string> out;
    for (const sim::Call &c : sim::Trace())
        if (kShown.count(c.fn))
            out.push_back(c.str());
    return out;
}

int CountWith(const std::string &fn, const std::string &text)
{
    int n = 0;
    for (const sim::Call &c : sim::Calls(fn))
        n += c.str().find(text) != std::string::npos;
    return n;
}

int OpensIn(int pass) { return CountWith("RegOpenKeyExA", "\"" + std::string(kPasses[pass].base) + "\\"); }
int DeletionsIn(int pass) { return CountWith("RegDeleteKeyA", "\"" + std::string(kPasses[pass].base) + "\\"); }

// The two lists are the same; a failure names the first line that differs.
void ExpectLines(const std::vector<std::string> &expected, const std::vector<std::string> &actual)
{
    size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i])
        i++;
    if (i == expected.size() && i == actual.size())
        return;
    ADD_FAILURE() << "first difference at line " << i << " of " << expected.size() << " expected, "
                  << actual.size() << " made\n  expected: " << (i < expected.size() ? expected[i] : "(nothing)")
                  << "\n  made:     " << (i < actual.size() ? actual[i] : "(nothing)");
}

// Every key opened is closed before anything else is opened or deleted.
void ExpectEachKeyClosedBeforeTheNextCall()
{
    std::string open;
    for (const sim::Call &c : sim::Trace()) {
        if (c.fn == "RegOpenKeyExA" || c.fn == "RegDeleteKeyA") {
            EXPECT_EQ("", open) << c.str() << " while a key is open";
        }
        if (c.fn == "lstrcmpA") {
            EXPECT_EQ("", open) << c.str() << " before the key was closed";
        }
        if (c.fn == "RegOpenKeyExA" && c.result == 0)
            open = "<HKLM\\" + c.args[1].substr(1, c.args[1].size() - 2) + ">";
        if (c.fn == "RegCloseKey") {
            EXPECT_EQ(open, c.args.at(0));
            open.clear();
        }
    }
    EXPECT_EQ("", open) << "left open at the end";
}

std::vector<int> Run(int from, int to)
{
    std::vector<int> out;
    for (int n = from; n <= to; n++)
        out.push_back(n);
    return out;
}

// One layout of a pass, and what the scan does over it. The script says, in
// order: oN opened, xN failed to open, fA-B failed opens of A to B, eA-B
// opened and read each of A to B, rN read (value, close, comparison), dN
// deleted, cN opened and closed unread.
struct Sequence {
    const char *what;
    std::vector<int> others;    // keys whose description is not the printer's
    std::vector<int> matching;  // keys whose description is the printer's
    const char *script;
    int opens;
    int deletions;
    DWORD type = REG_SZ;        // of every description
};

const Sequence kSequences[] = {
    {"nothing", {}, {}, "f0-101", 102, 0},
    {"0000-0002, none matching", {0, 1, 2}, {}, "e0-2 f3-103", 104, 0},
    {"0000-0002, 0001 matching", {0, 2}, {1}, "o0 r0 o1 r1 d1 x1 o2 r2 f3-100", 102, 1},
    {"0000-0002, 0001 matching, as REG_EXPAND_SZ", {0, 2}, {1}, "o0 r0 o1 r1 d1 x1 o2 r2 f3-100", 102, 1,
     REG_EXPAND_SZ},
    {"only 0001, matching", {}, {1}, "x0 o1 r1 d1 x1 f2-99", 101, 1},
    {"only 0000, matching", {}, {0}, "o0 r0 d0 x0 f1-100", 102, 1},
    {"only 0099, matching", {}, {99}, "f0-98 o99 r99 d99 x99", 101, 1},
    {"only 0099, not matching", {99}, {}, "f0-98 o99 r99 x100", 101, 0},
    {"only 0098, not matching", {98}, {}, "f0-97 o98 r98 x99 f100", 101, 0},
    {"only 0100, matching", {}, {100}, "f0-99 c100", 101, 0},
    {"only 0100, not matching", {100}, {}, "f0-99 c100", 101, 0},
    {"only 0101, matching", {}, {101}, "f0-100 c101", 102, 0},
    {"only 0101, not matching", {101}, {}, "f0-100 c101", 102, 0},
    {"only 0102", {102}, {}, "f0-101", 102, 0},
    {"0000-0002, all matching", {}, {0, 1, 2}, "o0 r0 d0 x0 o1 r1 d1 x1 o2 r2 d2 x2 f3-96", 100, 3},
    {"0000, 0050 and 0160", {0, 50, 160}, {}, "o0 r0 f1-49 o50 r50 f51-100", 101, 0},
    {"0001-0003 after a missing 0000", {1, 2, 3}, {}, "x0 e1-3 f4-102", 103, 0},
    {"a run 0000-0149 is followed to its end", Run(0, 149), {}, "e0-149 f150-250", 251, 0},
    {"0000, then 0060 matching, then 0120", {0, 120}, {60}, "o0 r0 f1-59 o60 r60 d60 x60 f61-99", 101, 1},
};


std::vector<std::string> Expand(const Sequence &s, int pass)
{
    std::set<int> matching(s.matching.begin(), s.matching.end());
    auto description = [&](int n) { return matching.count(n) ? std::string(kPrinter) : std::string(kOther); };
    std::vector<std::string> out;
    std::istringstream in(s.script);
    std::string token;
    while (in >> token) {
        char op = token[0];
        int a = 0, b = 0;
        if (std::sscanf(token.c_str() + 1, "%d-%d", &a, &b) < 2)
            b = a;
        for (int n = a; n <= b; n++) {
            switch (op) {
            case 'o': out.push_back(OpenLine(pass, n, 0)); break;
            case 'x':
            case 'f': out.push_back(OpenLine(pass, n, 2)); break;
            case 'e': out.push_back(OpenLine(pass, n, 0)); [[fallthrough]];
            case 'r':
                out.push_back(ReadLine(pass, n));
                out.push_back(CloseLine(pass, n));
                out.push_back(CompareLine(description(n)));
                break;
            case 'd': out.push_back(DeleteLine(pass, n)); break;
            case 'c': out.push_back(OpenLine(pass, n, 0)); out.push_back(CloseLine(pass, n)); break;
            default: ADD_FAILURE() << "bad script token " << token;
            }
        }
    }
    return out;
}

std::set<int> DeletedBy(const Sequence &s)
{
    std::set<int> out;
    std::istringstream in(s.script);
    std::string token;
    while (in >> token)
        if (token[0] == 'd')
            out.insert(std::atoi(token.c_str() + 1));
    return out;
}

class ScanTest : public MachineTest {};

TEST_F(ScanTest, EdgeCaseSequencesInEachPass)
{
    const Sequence empty = {"nothing", {}, {}, "f0-101", 102, 0};
    for (const Sequence &s : kSequences) {
        // The layout in pass 1 only, in pass 2 only, and in both at once.
        for (int where = 0; where < 3; where++) {
            SCOPED_TRACE(std::string(s.what) + (where == 0 ? " (pass 1)" : where == 1 ? " (pass 2)" : " (both)"));
            SetUp();
            bool in[2] = {where != 1, where != 0};
            for (int pass = 0; pass < 2; pass++) {
                if (!in[pass])
                    continue;
                for (int n : s.others)
                    AddInstance(pass, n, kOther, s.type);
                for (int n : s.matching)
                    AddInstance(pass, n, kPrinter, s.type);
            }

            ScanInstanceKeys();

            std::vector<std::string> expected = Expand(in[0] ? s : empty, 0);
            std::vector<std::string> second = Expand(in[1] ? s : empty, 1);
            expected.insert(expected.end(), second.begin(), second.end());
            ExpectLines(expected, ScanLines());
            for (int pass = 0; pass < 2; pass++) {
                EXPECT_EQ(in[pass] ? s.opens : 102, OpensIn(pass)) << "pass " << pass + 1;
                EXPECT_EQ(in[pass] ? s.deletions : 0, DeletionsIn(pass)) << "pass " << pass + 1;
            }
            ExpectEachKeyClosedBeforeTheNextCall();
            std::set<int> deleted = DeletedBy(s);
            for (int pass = 0; pass < 2 && in[pass]; pass++) {
                for (int n : s.others)
                    EXPECT_TRUE(sim::KeyExists(KeyPath(pass, n))) << KeyPath(pass, n);
                for (int n : s.matching)
                    EXPECT_EQ(!deleted.count(n), sim::KeyExists(KeyPath(pass, n))) << KeyPath(pass, n);
            }
            if (HasFailure())
                return;
        }
    }
}

TEST_F(ScanTest, CaseOrASpaceMakesAnotherPrinter)
{
    const std::vector<std::string> near = {"oxtrel lintora 460d", "OXTREL LINTORA 460D", "Oxtrel Lintora 460d",
                                           "Oxtrel Lintora 460D ", " Oxtrel Lintora 460D", "Oxtrel Lintora 460",
                                           "Oxtrel  Lintora 460D", ""};
    for (int pass = 0; pass < 2; pass++)
        for (size_t i = 0; i < near.size(); i++)
            AddInstance(pass, (int)i, near[i]);

    ScanInstanceKeys();

    EXPECT_TRUE(sim::Calls("RegDeleteKeyA").empty());
    std::vector<std::string> compared;
    for (int pass = 0; pass < 2; pass++)
        for (const std::string &d : near)
            compared.push_back(CompareLine(d));
    EXPECT_EQ(compared, sim::Lines("lstrcmpA"));
    for (int pass = 0; pass < 2; pass++)
        for (size_t i = 0; i < near.size(); i++)
            EXPECT_TRUE(sim::KeyExists(KeyPath(pass, (int)i)));
}

TEST_F(ScanTest, EachPassComparesItsOwnValue)
{
    // Class keys: only "DriverDesc" counts.
    sim::SetString(KeyPath(1, 0), "DeviceDesc", kPrinter);
    sim::SetString(KeyPath(1, 0), "DriverDesc", kOther);
    sim::SetString(KeyPath(1, 1), "DeviceDesc", kOther);
    sim::SetString(KeyPath(1, 1), "DriverDesc", kPrinter);
    // Device keys: only "DeviceDesc" counts.
    sim::SetString(KeyPath(0, 0), "DriverDesc", kPrinter);
    sim::SetString(KeyPath(0, 0), "DeviceDesc", kOther);
    sim::SetString(KeyPath(0, 1), "DriverDesc", kOther);
    sim::SetString(KeyPath(0, 1), "DeviceDesc", kPrinter);

    ScanInstanceKeys();

    EXPECT_EQ(std::vector<std::string>({DeleteLine(0, 1), DeleteLine(1, 1)}), sim::Lines("RegDeleteKeyA"));
    EXPECT_TRUE(sim::KeyExists(KeyPath(0, 0)));
    EXPECT_TRUE(sim::KeyExists(KeyPath(1, 0)));
    EXPECT_FALSE(sim::KeyExists(KeyPath(0, 1)));
    EXPECT_FALSE(sim::KeyExists(KeyPath(1, 1)));
    for (const sim::Call &c : sim::Calls("RegQueryValueExA"))
        EXPECT_EQ(c.args[0].find(kPasses[0].base) != std::string::npos ? "\"DeviceDesc\"" : "\"DriverDesc\"",
                  c.args.at(1))
            << c.str();
}

TEST_F(ScanTest, EachPassStartsAfresh)
{
    // Pass 1 spends its whole budget and ends on a key closed unread; pass 2
    // still starts at 0000 with the whole budget, enough to reach 0099.
    AddInstance(0, 101, kPrinter);
    AddInstance(1, 99, kPrinter);

    ScanInstanceKeys();

    std::vector<std::string> opens = sim::Lines("RegOpenKeyExA");
    ASSERT_EQ(102u + 101u, opens.size());
    EXPECT_EQ(OpenLine(0, 101, 0), opens[101]);
    EXPECT_EQ(OpenLine(1, 0, 2), opens[102]);
    EXPECT_EQ(OpenLine(1, 1, 2), opens[103]);
    EXPECT_EQ(std::vector<std::string>({DeleteLine(1, 99)}), sim::Lines("RegDeleteKeyA"));
    EXPECT_TRUE(sim::KeyExists(KeyPath(0, 101)));
}

TEST_F(ScanTest, EveryReadOffersTheWholeBuffer)
{
    // The platform writes each value's length back into the size; the next
    // read must offer 260 again.
    const std::vector<std::string> descriptions = {"A", std::string(100, 'b'), std::string(259, 'c'), kOther,
                                                   kPrinter, ""};
    for (size_t i = 0; i < descriptions.size(); i++) {
        AddInstance(0, (int)i, descriptions[i]);
        AddInstance(1, (int)i, descriptions[i]);
    }
    sim::DeleteRefusedSilently(KeyPath(0, 4));

    ScanInstanceKeys();

    std::vector<sim::Call> reads = sim::Calls("RegQueryValueExA");
    ASSERT_EQ(2 * descriptions.size() + 1, reads.size());
    for (const sim::Call &c : reads)
        EXPECT_EQ("260", c.args.at(2)) << c.str();
    // A 259-character description fits with its terminator and is compared whole.
    EXPECT_EQ(2, CountWith("lstrcmpA", "\"" + std::string(259, 'c') + "\""));
}

TEST_F(ScanTest, KeyIsClosedBeforeItIsComparedAndDeleted)
{
    AddInstance(0, 0, kPrinter);

    ScanInstanceKeys();

    int read = sim::IndexOf("RegQueryValueExA"), close = sim::IndexOf("RegCloseKey");
    int compare = sim::IndexOf("lstrcmpA"), del = sim::IndexOf("RegDeleteKeyA");
    ASSERT_GE(read, 0);
    EXPECT_LT(read, close);
    EXPECT_LT(close, compare);
    EXPECT_LT(compare, del);
    EXPECT_EQ(CloseLine(0, 0), sim::Trace()[close].str());
    EXPECT_EQ(OpenLine(0, 0, 2), sim::Trace()[del + 1].str()) << "the same name is opened again";
    ExpectEachKeyClosedBeforeTheNextCall();
}

TEST_F(ScanTest, CallsNothingButTheRegistryAndStringHelpers)
{
    for (int pass = 0; pass < 2; pass++) {
        for (int n = 0; n < 30; n++)
            AddInstance(pass, n, n % 3 ? kOther : kPrinter);
        AddInstance(pass, 60, kPrinter);
        AddInstance(pass, 130, kPrinter);
        sim::DeleteRefusedSilently(KeyPath(pass, 60));
        sim::DenyOpen(KeyPath(pass, 61));
    }

    ScanInstanceKeys();

    const std::set<std::string> allowed = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "lstrcmpA",
                                           "RegDeleteKeyA", "lstrcpyA", "lstrcatA"};
    for (const sim::Call &c : sim::Trace())
        EXPECT_TRUE(allowed.count(c.fn)) << c.str();
    EXPECT_FALSE(sim::Calls("RegQueryValueExA").empty());
    // Every name handed to the platform is a base, a backslash and four digits.
    for (const sim::Call &c : sim::Trace()) {
        if (c.fn != "RegOpenKeyExA" && c.fn != "RegDeleteKeyA")
            continue;
        std::string name = c.args.at(1);
        name = name.substr(1, name.size() - 2);
        std::string base = name.substr(0, name.size() - 5);
        EXPECT_TRUE(base == kPasses[0].base || base == kPasses[1].base) << c.str();
        EXPECT_EQ('\\', name[name.size() - 5]) << c.str();
        EXPECT_EQ(4u, std::strspn(name.c_str() + name.size() - 4, "0123456789")) << c.str();
    }
    ExpectEachKeyClosedBeforeTheNextCall();
    EXPECT_TRUE(sim::Errors().empty());
}

TEST_F(ScanTest, RefusedOpenIsAMiss)
{
    AddInstance(0, 0, kPrinter);
    sim::DenyOpen(KeyPath(0, 0));
    AddInstance(0, 1, kPrinter);
    // In pass 2 a refused key inside a run breaks it like a gap.
    AddInstance(1, 0, kOther);
    AddInstance(1, 1, kPrinter);
    sim::DenyOpen(KeyPath(1, 1));
    AddInstance(1, 2, kOther);

    ScanInstanceKeys();

    std::vector<std::string> expected = {OpenLine(0, 0, 5), OpenLine(0, 1, 0), ReadLine(0, 1), CloseLine(0, 1),
                                         CompareLine(kPrinter), DeleteLine(0, 1), OpenLine(0, 1, 2)};
    for (int n = 2; n <= 99; n++)
        expected.push_back(OpenLine(0, n, 2));
    for (const std::string &line : {OpenLine(1, 0, 0), ReadLine(1, 0), CloseLine(1, 0), CompareLine(kOther),
                                    OpenLine(1, 1, 5), OpenLine(1, 2, 0), ReadLine(1, 2), CloseLine(1, 2),
                                    CompareLine(kOther)})
        expected.push_back(line);
    // 0001 cost one, 0002 two: 0003 opens at three, 0100 is the last.
    for (int n = 3; n <= 100; n++)
        expected.push_back(OpenLine(1, n, 2));
    ExpectLines(expected, ScanLines());
    EXPECT_TRUE(sim::KeyExists(KeyPath(0, 0)));
    EXPECT_TRUE(sim::KeyExists(KeyPath(1, 1)));
}

// ---- descriptions that cannot be read -------------------------------------

struct Unreadable {
    const char *what;
    bool hasValue;
    DWORD type;
    std::string bytes;
};

std::vector<Unreadable> UnreadableDescriptions()
{
    return {
        {"no value", false, REG_SZ, ""},
        {"260 characters", true, REG_SZ, std::string(kPrinter) + std::string(241, ' ') + '\0'},
        {"300 characters", true, REG_SZ, std::string(300, 'O') + '\0'},
        {"the name without its terminator", true, REG_SZ, kPrinter},
        {"260 bytes without a terminator", true, REG_SZ, std::string(kPrinter) + std::string(241, 'x')},
        {"binary", true, REG_BINARY, std::string(kPrinter) + '\0'},
        {"a number", true, REG_DWORD, "Oxtr"},
        {"empty binary", true, REG_BINARY, ""},
        // What a failed read leaves is undefined, and may look like the name.
        {"too long, beginning with the name and a zero byte", true, REG_SZ,
         std::string(kPrinter) + '\0' + std::string(260, 'x') + '\0'},
    };
}

void AddUnreadable(int pass, int n, const Unreadable &u)
{
    sim::AddKey(KeyPath(pass, n));
    sim::SetString(KeyPath(pass, n), kPasses[pass].decoy, kPrinter);
    if (u.hasValue)
        sim::SetValue(KeyPath(pass, n), kPasses[pass].value, u.type, u.bytes);
}

// Nothing is compared that did not fit the 260-byte buffer with its terminator.
void ExpectNothingComparedPastTheBuffer()
{
    for (const sim::Call &c : sim::Calls("lstrcmpA"))
        EXPECT_LE(c.args.at(0).size(), 259u + 2) << c.str();
}

TEST_F(ScanTest, UnreadableDescriptionAfterARefusedMatch)
{
    // 0000 matches and stays, so it is read twice and the description buffer
    // last held the printer's name; 0001 cannot be read.
    for (const Unreadable &u : UnreadableDescriptions()) {
        SCOPED_TRACE(u.what);
        SetUp();
        for (int pass = 0; pass < 2; pass++) {
            AddInstance(pass, 0, kPrinter);
            sim::DeleteRefusedSilently(KeyPath(pass, 0));
            AddUnreadable(pass, 1, u);
        }

        ScanInstanceKeys();

        for (int pass = 0; pass < 2; pass++) {
            EXPECT_TRUE(sim::KeyExists(KeyPath(pass, 1)));
            EXPECT_EQ(1, DeletionsIn(pass));
            EXPECT_EQ(1, CountWith("RegQueryValueExA", "<" + KeyPath(pass, 1) + ">"));
            // 0000 twice and 0001 cost nothing; 0002 to 0102 are the misses.
            EXPECT_EQ(104, OpensIn(pass));
        }
        EXPECT_EQ(std::vector<std::string>({DeleteLine(0, 0), DeleteLine(1, 0)}), sim::Lines("RegDeleteKeyA"));
        ExpectNothingComparedPastTheBuffer();
        ExpectEachKeyClosedBeforeTheNextCall();
    }
}

TEST_F(ScanTest, UnreadableDescriptionAfterADeletedMatch)
{
    for (const Unreadable &u : UnreadableDescriptions()) {
        SCOPED_TRACE(u.what);
        SetUp();
        for (int pass = 0; pass < 2; pass++) {
            AddInstance(pass, 0, kPrinter);
            AddUnreadable(pass, 1, u);
            AddUnreadable(pass, 2, u);
        }

        ScanInstanceKeys();

        for (int pass = 0; pass < 2; pass++) {
            EXPECT_FALSE(sim::KeyExists(KeyPath(pass, 0)));
            EXPECT_TRUE(sim::KeyExists(KeyPath(pass, 1)));
            EXPECT_TRUE(sim::KeyExists(KeyPath(pass, 2)));
            // 0000, its re-open (1), 0001 (3), 0002 free, then 0003 (4) to 0100.
            EXPECT_EQ(102, OpensIn(pass));
        }
        EXPECT_EQ(std::vector<std::string>({DeleteLine(0, 0), DeleteLine(1, 0)}), sim::Lines("RegDeleteKeyA"));
        ExpectNothingComparedPastTheBuffer();
    }
}

// ---- a deletion that does not take ----------------------------------------

TEST_F(ScanTest, MatchThatSurvivesItsDeletionIsReadOnceMoreAndPassed)
{
    AddInstance(0, 1, kPrinter);
    sim::DeleteRefusedSilently(KeyPath(0, 1));
    AddInstance(1, 99, kPrinter);
    sim::DeleteRefusedSilently(KeyPath(1, 99));

    ScanInstanceKeys();

    std::vector<std::string> expected = {OpenLine(0, 0, 2)};
    for (const std::string &line : {OpenLine(0, 1, 0), ReadLine(0, 1), CloseLine(0, 1), CompareLine(kPrinter),
                                    DeleteLine(0, 1), OpenLine(0, 1, 0), ReadLine(0, 1), CloseLine(0, 1),
                                    CompareLine(kPrinter)})
        expected.push_back(line);
    for (int n = 2; n <= 100; n++)
        expected.push_back(OpenLine(0, n, 2));
    // In pass 2 the budget is spent by the time 0099 is passed.
    for (int n = 0; n <= 98; n++)
        expected.push_back(OpenLine(1, n, 2));
    for (const std::string &line : {OpenLine(1, 99, 0), ReadLine(1, 99), CloseLine(1, 99), CompareLine(kPrinter),
                                    DeleteLine(1, 99), OpenLine(1, 99, 0), ReadLine(1, 99), CloseLine(1, 99),
                                    CompareLine(kPrinter), OpenLine(1, 100, 2)})
        expected.push_back(line);
    ExpectLines(expected, ScanLines());
    EXPECT_TRUE(sim::KeyExists(KeyPath(0, 1)));
    EXPECT_TRUE(sim::KeyExists(KeyPath(1, 99)));
}

// A scan that deleted the same key over and over would never return: run it
// in a child process with an alarm, so that a stall fails instead of hanging.
class ScanDeathTest : public MachineTest {};

TEST_F(ScanDeathTest, RefusedDeletionsDoNotStallTheScan)
{
    for (int pass = 0; pass < 2; pass++) {
        for (int n = 0; n < 3; n++) {
            AddInstance(pass, n, kPrinter);
            sim::DeleteRefusedSilently(KeyPath(pass, n));
        }
    }
    EXPECT_EXIT(
        {
            alarm(5);
            ScanInstanceKeys();
            std::exit(sim::Calls("RegDeleteKeyA").size() == 6 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ScanTest, RunOfUndeletableMatchesIsFollowedToItsEnd)
{
    for (int n = 0; n < 5; n++) {
        AddInstance(0, n, kPrinter);
        sim::DenyDelete(KeyPath(0, n));  // refused out loud this time
    }
    AddInstance(0, 5, kPrinter);

    ScanInstanceKeys();

    std::vector<std::string> deletions;
    for (int n = 0; n < 5; n++)
        deletions.push_back(DeleteLine(0, n, 5));
    deletions.push_back(DeleteLine(0, 5));
    EXPECT_EQ(deletions, sim::Lines("RegDeleteKeyA"));
    for (int n = 0; n < 5; n++)
        EXPECT_EQ(2, CountWith("RegQueryValueExA", "<" + KeyPath(0, n) + ">")) << n;
    EXPECT_FALSE(sim::KeyExists(KeyPath(0, 5)));
    // Opens: 0000-0004 twice each, 0005 and its failed re-open, then 0006-0105.
    EXPECT_EQ(10 + 2 + 100, OpensIn(0));
}

// ---- the end of the four-digit numbers ------------------------------------

class ScanLastNumberTest : public MachineTest {};

void AddRun(int pass, int from, int to)
{
    for (int n = from; n <= to; n++)
        sim::SetString(KeyPath(pass, n), kPasses[pass].value, kOther);
}

void ExpectNoNameLongerThanFourDigits()
{
    for (const char *fn : {"RegOpenKeyExA", "RegDeleteKeyA", "lstrcatA", "lstrcpyA"})
        for (const sim::Call &c : sim::Calls(fn))
            for (const std::string &a : c.args)
                EXPECT_EQ(std::string::npos, a.find("10000")) << c.str();
}

TEST_F(ScanLastNumberTest, EveryNumberPresentEndsThePassAfter9999)
{
    AddRun(0, 0, 9999);

    ScanInstanceKeys();

    std::vector<std::string> opens = sim::Lines("RegOpenKeyExA");
    ASSERT_EQ(10000u + 102u, opens.size());
    EXPECT_EQ(OpenLine(0, 9999, 0), opens[9999]);
    EXPECT_EQ(OpenLine(1, 0, 2), opens[10000]);
    EXPECT_EQ(10000u, sim::Calls("RegQueryValueExA").size());
    EXPECT_EQ(10000u, sim::Calls("RegCloseKey").size());
    ExpectNoNameLongerThanFourDigits();
}

TEST_F(ScanLastNumberTest, MatchAt9999IsDeletedAndThePassEnds)
{
    AddRun(1, 0, 9998);
    sim::SetString(KeyPath(1, 9999), "DriverDesc", kPrinter);

    ScanInstanceKeys();

    EXPECT_EQ(std::vector<std::string>({DeleteLine(1, 9999)}), sim::Lines("RegDeleteKeyA"));
    EXPECT_EQ(10001, OpensIn(1));
    EXPECT_EQ(OpenLine(1, 9999, 2), sim::Lines("RegOpenKeyExA").back());
    ExpectNoNameLongerThanFourDigits();
}

TEST_F(ScanLastNumberTest, RefusedMatchAt9999EndsThePass)
{
    AddRun(0, 0, 9998);
    sim::SetString(KeyPath(0, 9999), "DeviceDesc", kPrinter);
    sim::DeleteRefusedSilently(KeyPath(0, 9999));

    ScanInstanceKeys();

    EXPECT_EQ(std::vector<std::string>({DeleteLine(0, 9999)}), sim::Lines("RegDeleteKeyA"));
    EXPECT_EQ(10001, OpensIn(0));
    EXPECT_EQ(102, OpensIn(1));
    ExpectNoNameLongerThanFourDigits();
}

TEST_F(ScanLastNumberTest, GapNearTheEndStopsAtTheLastNumber)
{
    // 9990 fails (one miss), 9991 to 9999 are searched; then the numbers run out.
    AddRun(0, 0, 9989);

    ScanInstanceKeys();

    std::vector<std::string> opens = sim::Lines("RegOpenKeyExA");
    EXPECT_EQ(10000, OpensIn(0));
    EXPECT_EQ(OpenLine(0, 9999, 2), opens.at(9999));
    ExpectNoNameLongerThanFourDigits();
}

// ---- the names ------------------------------------------------------------

TEST(ScanNameTest, MakeInstanceKeyName)
{
    struct Row {
        int number;
        const char *tail;
    } const rows[] = {
        {1, "\\0001"},  {7, "\\0007"},  {9, "\\0009"},  {10, "\\0010"},  {42, "\\0042"},  {99, "\\0099"},
        {100, "\\0100"}, {101, "\\0101"}, {999, "\\0999"}, {1000, "\\1000"}, {1234, "\\1234"}, {9999, "\\9999"},
    };
    for (int pass = 1; pass <= 2; pass++) {
        for (const Row &r : rows) {
            char name[MAX_PATH];
            std::memset(name, 'Z', sizeof name);
            MakeInstanceKeyName(name, pass, r.number);
            EXPECT_STREQ((std::string(kPasses[pass - 1].base) + r.tail).c_str(), name)
                << "pass " << pass << ", number " << r.number;
            // Nothing written past the terminator.
            size_t length = std::strlen(name);
            EXPECT_EQ('Z', name[length + 1]) << r.number;
        }
    }
}

}  // namespace
