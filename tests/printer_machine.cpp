#include "printer_machine.h"

#include "machine.h"

namespace printer {

const char kName[] = "Oxtrel Lintora 460D";

const std::vector<std::string> kFixedKeys = {
    "HKCR\\CLSID\\{7c52e1a0-d3f9-11d0-b6a4-0a2b3c4d5e6f}",
    "HKCR\\Printers\\shellex\\ContextMenuHandlers\\Lintora 460D Shell Extension",
    "HKCC\\System\\CurrentControlSet\\control\\Print\\Printers\\Oxtrel Lintora 460D",
    "HKLM\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Oxtrel Lintora 460D",
    "HKLM\\Enum\\LPTENUM\\OXTRELLINTORA_460D_0E1B",
    "HKLM\\Enum\\LPTENUM\\OXTRELLINTORA_460D_3E1B",
    "HKLM\\Enum\\LPTENUM\\OXTRELLINTORA_460D(6996",
    "HKLM\\SOFTWARE\\Classes\\CLSID\\{7c52e1a0-d3f9-11d0-b6a4-0a2b3c4d5e6f}",
    "HKLM\\SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Lintora 460D Shell Extension",
    "HKLM\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Drivers\\Oxtrel Lintora 460D",
    "HKLM\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Print Processors\\Lintora 460D PrintProcessor",
    "HKLM\\System\\CurrentControlSet\\control\\Print\\Monitors\\Lintora 460D LanguageMonitor",
    "HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\Oxtrel Lintora 460D",
};

const std::vector<std::string> kSystemFiles = {
    "OX46HLP.HLP",  "OX4632.DLL",   "OX46LN98.DLL", "OX46HLP.GID", "OX46CT.DLL",   "OX46IMG.BMP",
    "OX46JP.DRV",   "OX46JPLN.DLL", "OX46JNLI.DLL", "OX46PRIN.DLL", "OX46RAST.DLL", "OX46LANG.DLL",
    "OX46RS.DLL",   "OX46SHEL.DLL", "OX46STAT.EXE", "OX46TN16.DLL", "OX46TN32.DLL",
};

const char kGroupName[] = "Oxtrel Lintora 460D";
const std::vector<std::string> kShortcutNames = {
    "Oxtrel Lintora 460D Help.LNK",
    "Oxtrel Lintora 460D Printer Monitor.LNK",
    "Oxtrel Lintora 460D Uninstall Program.LNK",
};

const char kWininitLines[] =
    "NUL=C:\\WINDOWS\\SYSTEM\\OX46PRIN.DLL\r\n"
    "NUL=C:\\WINDOWS\\SYSTEM\\OX46LANG.DLL\r\n";

const std::string kDevicesLine = "Oxtrel Lintora 460D=OX46PRIN,LPT1:";
const std::string kPrinterPortsLine = "Oxtrel Lintora 460D=OX46PRIN,LPT1:,15,45";
const std::string kDefaultLine = "device=Oxtrel Lintora 460D,OX46PRIN,LPT1:";

const char kSystemDir[] = "C:\\WINDOWS\\SYSTEM";
const char kWineSystemDir[] = "C:\\windows\\system32";
const int kWineCannotHold = 2;

const char *const kInstanceKeys[3] = {
    "HKLM\\Enum\\Root\\printer\\0001",
    "HKLM\\Enum\\Root\\printer\\0003",
    "HKLM\\System\\CurrentControlSet\\Services\\Class\\Printer\\0000",
};

const char kPrograms[] = "C:\\WINDOWS\\Start Menu\\Programs";
const std::string kGroup = std::string(kPrograms) + "\\" + kGroupName;
const std::vector<std::string> kShortcuts = [] {
    std::vector<std::string> paths;
    for (const std::string &name : kShortcutNames)
        paths.push_back(kGroup + "\\" + name);
    return paths;
}();

const std::string kWinIni =
    "[windows]\r\n" + kDefaultLine + "\r\n"
    "\r\n"
    "[Devices]\r\n"
    "Other Laser=LASER,LPT2:\r\n" + kDevicesLine + "\r\n"
    "\r\n"
    "[PrinterPorts]\r\n" + kPrinterPortsLine + "\r\n"
    "Other Laser=LASER,LPT2:,15,45\r\n"
    "\r\n"
    "[Oxtrel]\r\n"
    "Oxtrel Lintora 460D=kept: another section\r\n";

const char kPrintersKey[] = "HKCC\\System\\CurrentControlSet\\Control\\Print\\Printers";
const char kOtherPrinter[] = "Other Laser";
const char kInstalledPrinters[] = "HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\";

std::string WinIniAfter()
{
    std::string ini = kWinIni;
    for (const std::string &line : {kDevicesLine, kPrinterPortsLine})
        ini.erase(ini.find(line + "\r\n"), line.size() + 2);
    return ini.replace(ini.find(kDefaultLine), kDefaultLine.size(), "device=Other Laser,LASER,LPT2:");
}

// Read as programs read it, into a buffer no value outgrows.
std::string DefaultValue()
{
    HKEY key;
    static char data[1 << 16];
    DWORD type = 0, size = sizeof data;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, "System\\CurrentControlSet\\Control\\Print\\Printers", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "no key";
    LONG rc = RegQueryValueExA(key, "Default", NULL, &type, (LPBYTE)data, &size);
    RegCloseKey(key);
    return rc != ERROR_SUCCESS ? "none" : std::to_string(type) + " " + std::string(data, size);
}

std::string WithoutDefault(std::string dump)
{
    size_t at = dump.find(" : Default = ");
    if (at != std::string::npos)
        dump.erase(dump.rfind('\n', at) + 1, dump.find('\n', at) - dump.rfind('\n', at));
    return dump;
}

static std::string InSystemDir(const std::string &name) { return std::string(kSystemDir) + "\\" + name; }

void Install()
{
    for (const std::string &key : kFixedKeys) {
        sim::AddKey(key);
        sim::SetString(key, "", kName);
        sim::AddKey(key + "\\Sub\\Deeper");
        sim::SetValue(key + "\\Sub", "Flags", REG_DWORD, std::string("\x01\0\0\0", 4));
    }
    sim::SetString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                   "Programs", kPrograms);
    sim::AddDir(kGroup);
    for (const std::string &link : kShortcuts)
        sim::AddFile(link, "shortcut");
    for (const std::string &name : kSystemFiles)
        sim::AddFile(InSystemDir(name), name);
    sim::AddFile("C:\\WINDOWS\\WIN.INI", kWinIni);
    sim::SetString(kPrintersKey, "Default", kName);
    sim::AddKey(kInstalledPrinters + std::string(kOtherPrinter));  // Windows has the other printer too
    for (const char *key : kInstanceKeys) {
        bool device = std::string(key).find("Enum") != std::string::npos;
        sim::SetString(key, device ? "DeviceDesc" : "DriverDesc", kName);
        sim::SetString(std::string(key) + "\\LogConfig", "Port", "LPT1:");
    }
}

void AddUnrelated()
{
    // The folders of the registry that the printer's keys were put in are the system's.
    for (const std::string &key : kFixedKeys)
        sim::AddKey(key.substr(0, key.rfind('\\')));
    sim::SetString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                   "Programs", kPrograms);
    sim::SetString("HKLM\\Enum\\Root\\printer\\0000", "DeviceDesc", "Other Laser");
    sim::SetString("HKLM\\Enum\\Root\\printer\\0004", "DeviceDesc", "oxtrel lintora 460d");
    sim::SetString("HKLM\\Enum\\Root\\printer\\0005", "DeviceDesc", "Oxtrel Lintora 460D ");
    sim::SetString("HKLM\\System\\CurrentControlSet\\Services\\Class\\Printer\\0001", "DriverDesc",
                   "Other Laser");
    sim::SetString("HKLM\\System\\CurrentControlSet\\Services\\Class\\Printer\\0001", "DeviceDesc",
                   "Oxtrel Lintora 460D");
    sim::SetString("HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}", "", "Other");
    sim::SetString("HKLM\\Enum\\LPTENUM\\OTHERLASER_0001", "DeviceDesc", "Other Laser");
    sim::SetString(kInstalledPrinters + std::string(kOtherPrinter), "Port", "LPT2:");
    sim::SetString("HKLM\\System\\CurrentControlSet\\control\\Print\\Monitors\\Other Monitor", "Driver", "x.dll");
    sim::SetString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                   "Desktop", "C:\\WINDOWS\\Desktop");
    sim::AddFile("C:\\WINDOWS\\SYSTEM\\OX46PRIN.DL_", "not the driver");
    sim::AddFile("C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL", "kernel");
    sim::AddFile("C:\\WINDOWS\\Start Menu\\Programs\\Accessories\\Notepad.LNK", "notepad");
    sim::AddFile("C:\\WINDOWS\\SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n");
}

std::vector<std::string> Remaining()
{
    std::vector<std::string> left;
    for (const std::string &key : kFixedKeys)
        if (sim::KeyExists(key))
            left.push_back(key);
    for (const char *key : kInstanceKeys)
        if (sim::KeyExists(key))
            left.push_back(key);
    for (const std::string &link : kShortcuts)
        if (sim::Exists(link))
            left.push_back(link);
    if (sim::Exists(kGroup))
        left.push_back(kGroup);
    for (const std::string &name : kSystemFiles)
        if (sim::Exists(InSystemDir(name)))
            left.push_back(name);
    return left;
}

}  // namespace printer
