// The printer's driver as its installation left it, and a simulated
// Windows 95 machine with it installed beside things of others that must
// survive the removal.
#ifndef PRINTER_MACHINE_H
#define PRINTER_MACHINE_H

#include <string>
#include <vector>

namespace printer {

// The installed printer, on either machine: the simulated one below, and the
// Wine demo PC (e2e/demo_pc.py), which reads it from printer-description.
// Every list size and expectation of the tests follows from it; it is the
// tests' own, apart from the program's tables.
extern const char kName[];
extern const std::vector<std::string> kFixedKeys;      // root first, in the order the removal deletes them
extern const std::vector<std::string> kSystemFiles;    // in the system folder, in the removal's order
extern const char kGroupName[];                        // the group's folder, in the Programs folder
extern const std::vector<std::string> kShortcutNames;  // in the group, in the removal's order
extern const char kWininitLines[];                     // the NUL= lines each run adds to WININIT.INI's [rename]
extern const std::string kDevicesLine, kPrinterPortsLine, kDefaultLine;  // its win.ini lines, the last in [windows]

// Where the two machines differ.
extern const char kSystemDir[];      // here; the program deletes the system files there
extern const char kWineSystemDir[];  // on Wine
extern const int kWineCannotHold;    // the fixed key, by its place, that Wine cannot create (under HKCC's Print)

// The simulated machine.
extern const char *const kInstanceKeys[3];   // numbered instance keys that are the printer's
extern const char kPrograms[];               // the user's Programs folder
extern const std::string kGroup;             // the printer's program group folder
extern const std::vector<std::string> kShortcuts;  // full paths
extern const std::string kWinIni;            // win.ini before the removal: the printer is the default
std::string WinIniAfter();  // and after it: the printer's lines in [Devices] and [PrinterPorts] gone,
                            // and the other printer the default
extern const char kPrintersKey[];            // its Default value names the default printer too
extern const char kOtherPrinter[];           // the default once the printer is gone
extern const char kInstalledPrinters[];      // a key under it for each printer Windows has, a backslash at its end
std::string DefaultValue();                  // that value as its type and bytes, "none" when there is none
std::string WithoutDefault(std::string dump);  // a DumpRegistry() without that value's line

void Install();           // every item of the printer, on the current machine
void AddUnrelated();      // other software's keys, files and profile lines
std::vector<std::string> Remaining();  // the printer's items still on the machine

}  // namespace printer

#endif
