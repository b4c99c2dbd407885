// The instance scan's rules as a model, for the unit tests, the bench, the
// fuzz target and scan-order alike: a layout of instance keys on the machine,
// what one pass does over it, and what the trace shows it did.
#ifndef SCAN_MODEL_H
#define SCAN_MODEL_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace scan_model {

extern const char kPrinter[];  // the description whose keys are deleted

// A pass ends once its misses, which a key found never resets, exceed this.
// The program keeps its own, so that a slip in either is seen.
const int kMissBudget = 100;

// The two passes, in the scan's order.
struct Pass {
    const char *base;   // under HKEY_LOCAL_MACHINE
    const char *value;  // the description the pass compares
    const char *decoy;  // the other pass's description
};
extern const Pass kPasses[2];

// The keys the tests lay out most.
enum Kind {
    kOther,         // another printer's description, a prefix of the printer's
    kMatch,         // the printer's description
    kRefused,       // the printer's; its deletion reports success and the key stays
    kDenyDelete,    // the printer's; its deletion fails
    kNoValue,       // no description
    kTooLong,       // the printer's name padded to 260 characters
    kUnterminated,  // the printer's name without its terminating zero
    kBinary,        // the printer's name and a zero, as REG_BINARY
    kNumber,        // a REG_DWORD whose bytes spell "Oxtr"
    kLocked,        // the printer's, but the key cannot be opened
};

// One instance key.
struct Instance {
    enum Deletion {
        kTaken,            // the key goes
        kRefusedSilently,  // the deletion reports success and the key stays
        kDenied,           // the deletion fails
    };
    Instance() = default;
    Instance(Kind kind);  // not explicit: a layout reads {{0, kOther}, {1, kMatch}}
    bool opens = true;         // else opening it is refused
    Deletion deletion = kTaken;
    bool described = true;     // it has the pass's description value
    DWORD type = REG_SZ;
    std::string description;   // the value's bytes, with its terminator if it has one
};
using Layout = std::map<int, Instance>;  // by instance number, 0 to 9999

Instance Text(const std::string &description, DWORD type = REG_SZ);  // terminated
Instance Bytes(DWORD type, const std::string &bytes);                // as they are
// Another printer's keys numbered from..to, and the keys of others over them.
Layout Run(int from, int to, Layout others = {});

// What one pass does over a layout, as events: "open N = rc", "read N",
// "delete N = rc", "unread N".
std::vector<std::string> ModelPass(Layout keys);

// Events written short: items apart by "; ", each item events apart by ", ";
// an item ending " for A..Z" is repeated for each number from A to Z, that
// number in place of N. A number may be written from the miss budget, as B,
// B-1 or 2B+50: "open N = 0, read N for 0000..2B-1; open N = 2 for 2B..3B".
std::vector<std::string> Events(const std::string &script);
int Count(const std::vector<std::string> &events, const std::string &verb);  // "open", ...

// Puts the key on the machine for pass 0 or 1, with the other pass's
// description naming the printer as a decoy.
void AddInstance(int pass, int n, const Instance &key);

std::string Number(int n);                 // four digits
std::string KeyName(int pass, int n);      // base\NNNN, as the scan names it
std::string KeyPath(int pass, int n);      // HKLM\...\NNNN

// The events of one pass as the trace shows them; a call that fits no event
// is shown whole, so that a comparison fails on it.
std::vector<std::string> Recorded(int pass);

// The calls behind a pass's events, as the trace shows them: a read is the
// value offered the whole buffer, the key closed, then the comparison of a
// readable description with lstrcmpA, case and all.
std::vector<std::string> TraceLines(int pass, const Layout &keys, const std::vector<std::string> &events);
std::vector<std::string> RecordedLines();  // the scan's registry calls and comparisons

// The first call to anything but the registry and the string helpers (and the
// version, after a refused deletion); empty if none.
std::string FirstStrayCall();

// The first key of the layout that the pass's events should have left and did
// not, or should have deleted and did not; empty if none.
std::string FirstKeyAmiss(int pass, const Layout &keys, const std::vector<std::string> &events);

// The first difference between the model's events and the scan's; empty if none.
std::string FirstDifference(const std::vector<std::string> &model, const std::vector<std::string> &made);

}  // namespace scan_model

#endif
