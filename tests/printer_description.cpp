// Prints the installed printer's description for the end-to-end tests
// (e2e/demo_pc.py), a line an item: its kind, then its fields, by tabs.
#include <cstdio>

#include "printer_machine.h"

static void Line(const char *kind, const std::string &a, const std::string &b = "")
{
    std::printf("%s\t%s%s%s\n", kind, a.c_str(), b.empty() ? "" : "\t", b.c_str());
}

int main()
{
    using namespace printer;
    Line("name", kName);
    for (const std::string &key : kFixedKeys)
        Line("fixed_key", key.substr(0, key.find('\\')), key.substr(key.find('\\') + 1));
    for (const std::string &name : kSystemFiles)
        Line("system_file", name);
    Line("group", kGroupName);
    for (const std::string &name : kShortcutNames)
        Line("shortcut", name);
    for (std::string lines = kWininitLines; !lines.empty(); lines.erase(0, lines.find('\n') + 1))
        Line("wininit_line", lines.substr(0, lines.find('\r')));
    Line("win_ini", "Devices", kDevicesLine);
    Line("win_ini", "PrinterPorts", kPrinterPortsLine);
    Line("win_ini", "windows", kDefaultLine);
    Line("wine_system_dir", kWineSystemDir);
    Line("wine_cannot_hold", std::to_string(kWineCannotHold));
    return 0;
}
