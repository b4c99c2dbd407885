// The instance scan's rules as a model, for the unit tests and the fuzz
// target alike: a layout of instance keys on the machine, what one pass does
// over it, and what the trace shows it did.
#ifndef SCAN_MODEL_H
#define SCAN_MODEL_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace scan_model {

// One instance key.
struct Instance {
    enum Deletion {
        kTaken,            // the key goes
        kRefusedSilently,  // the deletion reports success and the key stays
        kDenied,           // the deletion fails
    };
    bool opens = true;         // else opening it is refused
    Deletion deletion = kTaken;
    bool described = true;     // it has the pass's description value
    DWORD type = REG_SZ;
    std::string description;   // the value's bytes, with its terminator if it has one
};
using Layout = std::map<int, Instance>;  // by instance number, 0 to 9999

// Whether the key carries the printer's description: text that fits the
// 260-byte buffer with its terminator and reads exactly as the printer's name.
bool DescribesPrinter(const Instance &key);

// What one pass does over a layout, as events: "open N = rc", "read N",
// "delete N = rc", "unread N".
std::vector<std::string> ModelPass(Layout keys);

// Puts the key on the machine for pass 0 or 1, with the other pass's
// description naming the printer as a decoy.
void AddInstance(int pass, int n, const Instance &key);

std::string Number(int n);                 // four digits
std::string KeyPath(int pass, int n);      // HKLM\...\NNNN

// The events of one pass as the trace shows them; a call that fits no event
// is shown whole, so that a comparison fails on it.
std::vector<std::string> Recorded(int pass);

// The first difference between the model's events and the scan's; empty if none.
std::string FirstDifference(const std::vector<std::string> &model, const std::vector<std::string> &made);

}  // namespace scan_model

#endif
