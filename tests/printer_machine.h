// A Windows 95 machine with the printer's driver installed, beside things
// that belong to others and must survive the removal.
#ifndef PRINTER_MACHINE_H
#define PRINTER_MACHINE_H

#include <string>
#include <vector>

namespace printer {

extern const char *const kFixedKeys[13];     // as the removal names them, root first
extern const char *const kSystemFiles[17];
extern const char *const kInstanceKeys[3];   // numbered instance keys that are the printer's
extern const char kPrograms[];               // the user's Programs folder
extern const char kGroup[];                  // the printer's program group folder
extern const char *const kShortcuts[3];      // full paths
extern const char kWininitLines[];           // the two NUL= lines each run adds to WININIT.INI's [rename]
extern const char kWinIni[];                 // win.ini before the removal: the printer is the default
std::string WinIniAfter();  // and after it: the printer's lines in [Devices] and [PrinterPorts] gone,
                            // and the other printer the default
extern const char kPrintersKey[];            // its Default value names the default printer too
extern const char kOtherPrinter[];           // the default once the printer is gone

void Install();           // every item of the printer, on the current machine
void AddUnrelated();      // other software's keys, files and profile lines
std::vector<std::string> Remaining();  // the printer's items still on the machine

}  // namespace printer

#endif
