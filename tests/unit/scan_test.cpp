// The instance scan: which numbered keys it opens, reads and deletes, in
// which order, and how it passes over keys it cannot read or cannot delete.
// Each row is a layout of instance keys and the events of a pass over it, as
// the scan makes them and as its model works them out.
#include <cstring>

#include <unistd.h>

#include "fixture.h"
#include "removal.h"
#include "scan_model.h"

using namespace scan_model;

namespace {

// Every key opened is closed before anything else is opened, compared or deleted.
void ExpectEachKeyClosedBeforeTheNextCall()
{
    std::string open;
    for (const sim::Call &c : sim::Trace()) {
        if (c.fn == "RegOpenKeyExA" || c.fn == "RegDeleteKeyA" || c.fn == "lstrcmpA") {
            EXPECT_EQ("", open) << c.str() << " while a key is open";
        }
        if (c.fn == "RegOpenKeyExA" && c.result == 0)
            open = "<HKLM\\" + c.args[1].substr(1, c.args[1].size() - 2) + ">";
        if (c.fn == "RegCloseKey") {
            EXPECT_EQ(open, c.args.at(0));
            open.clear();
        }
    }
}

void ExpectNoNameLongerThanFourDigits()
{
    for (const sim::Call &c : sim::Trace())
        for (const std::string &a : c.args)
            EXPECT_EQ(std::string::npos, a.find("10000")) << c.str();
}

// Lays out each pass's keys and runs the scan: each pass has the events
// given, as the model has them too, and leaves what they say.
void ExpectScan(const Layout (&keys)[2], const std::vector<std::string> (&events)[2])
{
    for (int pass = 0; pass < 2; pass++)
        for (const auto &k : keys[pass])
            AddInstance(pass, k.first, k.second);

    ScanInstanceKeys();

    std::vector<std::string> lines;
    for (int pass = 0; pass < 2; pass++) {
        SCOPED_TRACE("pass " + std::to_string(pass + 1));
        EXPECT_EQ("", FirstDifference(ModelPass(keys[pass]), events[pass])) << "(the model against the row)";
        EXPECT_EQ("", FirstDifference(events[pass], Recorded(pass))) << "(the row against the scan)";
        EXPECT_EQ("", FirstKeyAmiss(pass, keys[pass], events[pass]));
        std::vector<std::string> calls = TraceLines(pass, keys[pass], events[pass]);
        lines.insert(lines.end(), calls.begin(), calls.end());
    }
    EXPECT_EQ("", FirstDifference(lines, RecordedLines())) << "(the calls)";
    EXPECT_EQ("", FirstStrayCall());
    ExpectEachKeyClosedBeforeTheNextCall();
    ExpectNoNameLongerThanFourDigits();
}

const int B = kMissBudget;  // as the rows' events write it
const std::vector<std::string> kNothing = Events("open N = 2 for 0000..B+1");

struct Row {
    std::string what;
    Layout keys;
    const char *events;
    int run = -1;   // under the keys, another printer's from 0000 to this
    int only = -1;  // the one pass (0 or 1) of a layout too big to run thrice; else each pass and both
};

std::vector<Row> Rows()
{
    std::vector<Row> rows = {
        {"nothing", {}, "open N = 2 for 0000..B+1"},
        {"0000-0002, none matching", {}, "open N = 0, read N for 0000..0002; open N = 2 for 0003..B+3", 2},
        {"0000-0002, 0001 matching", {{1, kMatch}},
         "open N = 0, read N for 0000..0001; delete 0001 = 0, open 0001 = 2, open 0002 = 0, read 0002; "
         "open N = 2 for 0003..B", 2},
        {"0000-0002, 0001 matching, as REG_EXPAND_SZ",
         {{0, Text("Other Printer 100", REG_EXPAND_SZ)}, {1, Text(kPrinter, REG_EXPAND_SZ)},
          {2, Text("Other Printer 100", REG_EXPAND_SZ)}},
         "open N = 0, read N for 0000..0001; delete 0001 = 0, open 0001 = 2, open 0002 = 0, read 0002; "
         "open N = 2 for 0003..B"},
        {"only 0001, matching", {{1, kMatch}},
         "open 0000 = 2, open 0001 = 0, read 0001, delete 0001 = 0; open N = 2 for 0001..B-1"},
        {"only 0000, matching", {{0, kMatch}}, "open 0000 = 0, read 0000, delete 0000 = 0; open N = 2 for 0000..B"},
        // After a gap each number opened costs a miss, and a key found there
        // one more: alone, B-1 is the last key read, B+1 the last number opened.
        {"only the last key the budget reads, matching", {{B - 1, kMatch}},
         "open N = 2 for 0000..B-2; open B-1 = 0, read B-1, delete B-1 = 0, open B-1 = 2"},
        {"only the last key the budget reads, not matching", {{B - 1, kOther}},
         "open N = 2 for 0000..B-2; open B-1 = 0, read B-1, open B = 2"},
        {"only the key before the last the budget reads, not matching", {{B - 2, kOther}},
         "open N = 2 for 0000..B-3; open B-2 = 0, read B-2; open N = 2 for B-1..B"},
        {"only the first key the budget cannot read, matching", {{B, kMatch}},
         "open N = 2 for 0000..B-1; open B = 0, unread B"},
        {"only the first key the budget cannot read, not matching", {{B, kOther}},
         "open N = 2 for 0000..B-1; open B = 0, unread B"},
        {"only the key at the last number opened, matching", {{B + 1, kMatch}},
         "open N = 2 for 0000..B; open B+1 = 0, unread B+1"},
        {"only the key at the last number opened, not matching", {{B + 1, kOther}},
         "open N = 2 for 0000..B; open B+1 = 0, unread B+1"},
        {"only the key just past the budget", {{B + 2, kOther}}, "open N = 2 for 0000..B+1"},
        {"0000-0002, all matching", {{0, kMatch}, {1, kMatch}, {2, kMatch}},
         "open N = 0, read N, delete N = 0, open N = 2 for 0000..0002; open N = 2 for 0003..B-4"},
        // A key found never resets the misses: the key a whole budget past it
        // is not reached.
        {"0000, 0010, and a budget past 0010", {{0, kOther}, {10, kOther}, {10 + B, kOther}},
         "open 0000 = 0, read 0000; open N = 2 for 0001..0009; open 0010 = 0, read 0010; open N = 2 for 0011..B"},
        {"0000, then 0020 matching, then a budget past 0020", {{0, kOther}, {20, kMatch}, {20 + B, kOther}},
         "open 0000 = 0, read 0000; open N = 2 for 0001..0019; open 0020 = 0, read 0020, delete 0020 = 0; "
         "open N = 2 for 0020..B-1"},
        {"0001-0003 after a missing 0000", {{1, kOther}, {2, kOther}, {3, kOther}},
         "open 0000 = 2; open N = 0, read N for 0001..0003; open N = 2 for 0004..B+2"},
        {"a run twice the budget is followed to its end", {},
         "open N = 0, read N for 0000..2B-1; open N = 2 for 2B..3B", 2 * B - 1},
        // Only the exact name, in its case, is the printer's.
        {"names near the printer's",
         {{0, Text("oxtrel lintora 460d")}, {1, Text("OXTREL LINTORA 460D")}, {2, Text("Oxtrel Lintora 460d")},
          {3, Text("Oxtrel Lintora 460D ")}, {4, Text(" Oxtrel Lintora 460D")}, {5, Text("Oxtrel Lintora 460")},
          {6, Text("Oxtrel  Lintora 460D")}, {7, Text("")}},
         "open N = 0, read N for 0000..0007; open N = 2 for 0008..B+8"},
        // The platform writes each value's length back into the size; every
        // read must still offer the whole buffer, and 259 characters fit it.
        {"descriptions of every length, 0004 read again",
         {{0, Text("A")}, {1, Text(std::string(100, 'b'))}, {2, Text(std::string(259, 'c'))}, {3, kOther},
          {4, kRefused}, {5, Text("")}},
         "open N = 0, read N for 0000..0004; delete 0004 = 0, open 0004 = 0, read 0004, open 0005 = 0, read 0005; "
         "open N = 2 for 0006..B+6"},
        {"matches among others, one refused silently, one locked",
         {{0, kMatch}, {3, kMatch}, {20, kRefused}, {21, kLocked}, {40, kMatch}},
         "open 0000 = 0, read 0000, delete 0000 = 0, open 0000 = 2; open N = 0, read N for 0001..0002; "
         "open 0003 = 0, read 0003, delete 0003 = 0, open 0003 = 2, open 0004 = 0, read 0004; "
         "open N = 2 for 0005..0019; open 0020 = 0, read 0020, delete 0020 = 0, open 0020 = 0, read 0020, "
         "open 0021 = 5; open N = 2 for 0022..0039; open 0040 = 0, read 0040, delete 0040 = 0; "
         "open N = 2 for 0040..B-4",
         4},
        // A key that cannot be opened is a miss, and breaks a run like a gap.
        {"0000 locked, 0001 matching", {{0, kLocked}, {1, kMatch}},
         "open 0000 = 5, open 0001 = 0, read 0001, delete 0001 = 0; open N = 2 for 0001..B-1"},
        {"0001 locked inside a run", {{1, kLocked}},
         "open 0000 = 0, read 0000, open 0001 = 5, open 0002 = 0, read 0002; open N = 2 for 0003..B", 2},
        // A match that survives its deletion is read once more and passed.
        {"only 0000, refused silently", {{0, kRefused}},
         "open 0000 = 0, read 0000, delete 0000 = 0, open 0000 = 0, read 0000; open N = 2 for 0001..B+1"},
        {"only 0001, refused silently", {{1, kRefused}},
         "open 0000 = 2, open 0001 = 0, read 0001, delete 0001 = 0, open 0001 = 0, read 0001; "
         "open N = 2 for 0002..B"},
        {"only the last key the budget reads, refused silently", {{B - 1, kRefused}},
         "open N = 2 for 0000..B-2; open B-1 = 0, read B-1, delete B-1 = 0, open B-1 = 0, read B-1, open B = 2"},
        {"0000-0004 refused out loud, then 0005 matching",
         {{0, kDenyDelete}, {1, kDenyDelete}, {2, kDenyDelete}, {3, kDenyDelete}, {4, kDenyDelete}, {5, kMatch}},
         "open N = 0, read N, delete N = 5, open N = 0, read N for 0000..0004; open 0005 = 0, read 0005, "
         "delete 0005 = 0; open N = 2 for 0005..B+5"},
        // The four-digit numbers end at 9999.
        {"every number present", {}, "open N = 0, read N for 0000..9999", 9999, 0},
        {"0000-9998, then 9999 matching", {{9999, kMatch}},
         "open N = 0, read N for 0000..9999; delete 9999 = 0, open 9999 = 2", 9998, 1},
        {"0000-9998, then 9999 refused silently", {{9999, kRefused}},
         "open N = 0, read N for 0000..9999; delete 9999 = 0, open 9999 = 0, read 9999", 9998, 0},
        {"0000-9989, then the numbers run out before the budget", {},
         "open N = 0, read N for 0000..9989; open N = 2 for 9990..9999", 9989, 0},
    };
    // Descriptions that cannot be read as text do not match, even where what
    // a failed read leaves in the buffer, or last left there, is the name.
    const std::pair<const char *, Instance> unreadable[] = {
        {"no value", kNoValue},
        {"260 characters", kTooLong},
        {"300 characters", Text(std::string(300, 'O'))},
        {"the name without its terminator", kUnterminated},
        {"260 bytes without a terminator", Bytes(REG_SZ, kPrinter + std::string(241, 'x'))},
        {"binary", kBinary},
        {"a number", kNumber},
        {"empty binary", Bytes(REG_BINARY, "")},
        {"too long, the name and a zero first",
         Bytes(REG_SZ, kPrinter + std::string(1, '\0') + std::string(260, 'x') + '\0')},
    };
    for (const auto &u : unreadable) {
        rows.push_back({"0000 refused silently, 0001 " + std::string(u.first), {{0, kRefused}, {1, u.second}},
                        "open 0000 = 0, read 0000, delete 0000 = 0, open 0000 = 0, read 0000, open 0001 = 0, "
                        "read 0001; open N = 2 for 0002..B+2"});
        rows.push_back({"0000 matching, 0001-0002 " + std::string(u.first), {{0, kMatch}, {1, u.second}, {2, u.second}},
                        "open 0000 = 0, read 0000, delete 0000 = 0, open 0000 = 2; open N = 0, read N for 0001..0002; "
                        "open N = 2 for 0003..B"});
    }
    return rows;
}

class ScanTest : public MachineTest {};

// Each layout in pass 1 only, in pass 2 only, and in both at once.
TEST_F(ScanTest, Layouts)
{
    for (const Row &row : Rows()) {
        const Layout keys = scan_model::Run(0, row.run, row.keys);
        const std::vector<std::string> events = Events(row.events);
        for (int where = 0; where < 3; where++) {
            if (row.only >= 0 && where != row.only)
                continue;
            SCOPED_TRACE(row.what + (where == 0 ? ", in pass 1" : where == 1 ? ", in pass 2" : ", in both passes"));
            SetUp();
            ExpectScan({where != 1 ? keys : Layout(), where != 0 ? keys : Layout()},
                       {where != 1 ? events : kNothing, where != 0 ? events : kNothing});
        }
    }
}

class ScanPassesTest : public MachineTest {};

TEST_F(ScanPassesTest, EachPassStartsAfresh)
{
    // Pass 1 spends its whole budget and ends on a key closed unread; pass 2
    // still starts at 0000 with the whole budget, enough to read the last key
    // it reaches.
    ExpectScan({Layout{{B + 1, kMatch}}, Layout{{B - 1, kMatch}}},
               {Events("open N = 2 for 0000..B; open B+1 = 0, unread B+1"),
                Events("open N = 2 for 0000..B-2; open B-1 = 0, read B-1, delete B-1 = 0, open B-1 = 2")});
}

// A scan that deleted the same key over and over would never return: run it
// in a child process with an alarm, so that a stall fails instead of hanging.
class ScanDeathTest : public MachineTest {};

TEST_F(ScanDeathTest, RefusedDeletionsDoNotStallTheScan)
{
    for (int pass = 0; pass < 2; pass++)
        for (int n = 0; n < 3; n++)
            AddInstance(pass, n, kRefused);
    EXPECT_EXIT(
        {
            alarm(5);
            ScanInstanceKeys();
            std::exit(sim::Calls("RegDeleteKeyA").size() == 6 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ScanNameTest, MakeInstanceKeyName)
{
    for (int pass = 1; pass <= 2; pass++) {
        for (int number : {1, 7, 9, 10, 42, 99, 100, 101, 999, 1000, 1234, 9999}) {
            char name[MAX_PATH];
            std::memset(name, 'Z', sizeof name);
            MakeInstanceKeyName(name, pass, number);
            EXPECT_EQ(KeyName(pass - 1, number), name) << "pass " << pass;
            // Nothing written past the terminator.
            EXPECT_EQ('Z', name[std::strlen(name) + 1]) << number;
        }
    }
}

}  // namespace
