// The removal sequence: what it deletes, in which order, and how it passes
// over what is missing, refused or too long to name.
#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "fixture.h"
#include "printer_machine.h"
#include "removal.h"
#include "scan_model.h"

namespace {

const std::string kTwoLines = std::string("[rename]\r\n") + printer::kWininitLines;
// The files a run deletes: the shortcuts, then the system files.
size_t Files() { return printer::kShortcuts.size() + printer::kSystemFiles.size(); }

class RemovalTest : public MachineTest {};

// The win.ini change messages a run sends, one for each section named.
std::vector<std::string> Broadcasts(const std::vector<std::string> &sections)
{
    std::vector<std::string> lines;
    for (const std::string &section : sections)
        lines.push_back("SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, \"" + section +
                        "\", SMTO_ABORTIFHUNG, 1000, result) = 1");
    return lines;
}

// The files the removal deleted, before it turns to WININIT.INI.
std::vector<std::string> Deleted()
{
    return Args("DeleteFileA", 0, "GetWindowsDirectoryA");
}

// The roots and names of the keys deleted, in order.
std::vector<std::string> KeyNames()
{
    std::vector<std::string> out;
    for (const sim::Call &c : sim::Calls("RegDeleteKeyA"))
        out.push_back(c.args[0] + "\\" + c.args[1]);
    return out;
}

// The place in the trace of the first call of fn whose line contains text; -1 if none.
int IndexWith(const std::string &fn, const std::string &text)
{
    const auto &t = sim::Trace();
    for (size_t i = 0; i < t.size(); i++)
        if (t[i].fn == fn && t[i].str().find(text) != std::string::npos)
            return (int)i;
    return -1;
}

TEST_F(RemovalTest, FixedKeysInRowOrderThenTheFlush)
{
    printer::Install();
    RemoveDriver();

    // Each key through the root the table names, in row order.
    const std::map<std::string, std::string> roots = {
        {"HKCR", "HKEY_CLASSES_ROOT"}, {"HKCC", "HKEY_CURRENT_CONFIG"}, {"HKLM", "HKEY_LOCAL_MACHINE"}};
    std::vector<std::string> want, keys;
    for (const std::string &key : printer::kFixedKeys)
        want.push_back(roots.at(key.substr(0, 4)) + ", \"" + key.substr(5) + "\"");
    for (const sim::Call &c : sim::Calls("RegDeleteKeyA"))
        keys.push_back(c.args.at(0) + ", " + c.args.at(1));
    ASSERT_EQ(printer::kFixedKeys.size() + std::size(printer::kInstanceKeys), keys.size()) << "the fixed keys and the instance keys";
    EXPECT_EQ(want, std::vector<std::string>(keys.begin(), keys.begin() + printer::kFixedKeys.size()));
    EXPECT_EQ(0u, sim::Calls("RegEnumKeyA").size()) << "Windows 95 deletes each key with its subkeys at once";
    EXPECT_EQ(std::vector<std::string>({"RegFlushKey(HKEY_LOCAL_MACHINE) = 0"}), sim::Lines("RegFlushKey"));
    EXPECT_EQ(sim::IndexOf("RegDeleteKeyA", (int)printer::kFixedKeys.size() - 1) + 1, sim::IndexOf("RegFlushKey"));
    for (const std::string &key : printer::kFixedKeys)
        EXPECT_FALSE(sim::KeyExists(key)) << key;
}

TEST_F(RemovalTest, PhasesRunInOrder)
{
    printer::Install();
    RemoveDriver();

    std::vector<int> order = {
        sim::IndexOf("RegFlushKey"),
        IndexWith("RegOpenKeyExA", "Enum\\Root\\printer\\0000"),
        IndexWith("RegOpenKeyExA", "Services\\Class\\Printer\\0000"),
        IndexWith("WriteProfileStringA", "\"Devices\""),
        IndexWith("WriteProfileStringA", "\"PrinterPorts\""),
        IndexWith("RegOpenKeyExA", "Shell Folders"),
    };
    for (const std::string &name : printer::kShortcutNames)
        order.push_back(IndexWith("DeleteFileA", name));
    order.push_back(sim::IndexOf("RemoveDirectoryA"));
    order.push_back(sim::IndexOf("GetSystemDirectoryA"));
    for (const std::string &name : printer::kSystemFiles)
        order.push_back(IndexWith("DeleteFileA", name));
    order.push_back(sim::IndexOf("GetWindowsDirectoryA"));
    for (size_t i = 0; i < order.size(); i++)
        EXPECT_GE(order[i], 0) << "step " << i;
    for (size_t i = 1; i < order.size(); i++)
        EXPECT_LT(order[i - 1], order[i]) << "step " << i;
    // The profile phase, string helpers left out: the printer was the
    // default, and the other printer, which Windows has, takes its place.
    const std::string kPrinters = "<HKLM\\Config\\0001\\System\\CurrentControlSet\\Control\\Print\\Printers>";
    const std::string kOther = "System\\CurrentControlSet\\control\\Print\\Printers\\Other Laser";
    std::vector<std::string> profile;
    for (int i = IndexWith("WriteProfileStringA", "\"Devices\""); i < IndexWith("RegOpenKeyExA", "Shell Folders"); i++)
        if (sim::Trace()[i].fn.compare(0, 4, "lstr") != 0 && sim::Trace()[i].fn != "GetVersion") {
            std::string line = sim::Trace()[i].str();
            bool read = sim::Trace()[i].fn == "GetProfileStringA";  // its length is the machine's
            profile.push_back(read ? line.substr(0, line.rfind(" = ")) : line);
        }
    EXPECT_EQ(std::vector<std::string>({
                  "WriteProfileStringA(\"Devices\", \"Oxtrel Lintora 460D\", NULL) = 1",
                  "WriteProfileStringA(\"PrinterPorts\", \"Oxtrel Lintora 460D\", NULL) = 1",
                  "GetProfileStringA(\"windows\", \"device\", \"\", 260)",
                  "GetProfileStringA(\"windows\", \"NullPort\", \"None\", 260)",
                  "GetProfileStringA(\"Devices\", NULL, \"\", 1024)",
                  "GetProfileStringA(\"Devices\", \"Other Laser\", \"\", 260)",
                  "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"" + kOther + "\", 0, KEY_QUERY_VALUE) = 0",
                  "RegCloseKey(<HKLM\\" + kOther + ">) = 0",
                  "WriteProfileStringA(\"windows\", \"device\", \"Other Laser,LASER,LPT2:\") = 1",
                  "RegOpenKeyExA(HKEY_CURRENT_CONFIG, \"System\\CurrentControlSet\\Control\\Print\\Printers\", 0, 0x3) = 0",
                  "RegQueryValueExA(" + kPrinters + ", \"Default\", 260) = 0",
                  "RegSetValueExA(" + kPrinters + ", \"Default\", 1, \"Other Laser\\x00\") = 0",
                  "RegCloseKey(" + kPrinters + ") = 0",
              }),
              profile);
    // Running programs are told last, once the removal is whole.
    const auto &trace = sim::Trace();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(Broadcasts({"devices", "windows"}),
              std::vector<std::string>({trace[trace.size() - 2].str(), trace.back().str()}));
}

// When the printer was the default, win.ini's device= and HKCC's Default move
// to another printer, or go. The rule whole, over any win.ini, is the
// printers fuzz target's (tests/fuzz/printers.cpp); these rows pin it: the
// printer machine, the printer no longer the default, no other printer, and
// the NT family, which keeps no key for a printer on the network. Programs
// are told of [Devices], and of [windows] when device= changed.
TEST_F(RemovalTest, TheDefaultPrinterMovesOffThePrinter)
{
    const std::string kDevice = "device=Oxtrel Lintora 460D,OX46PRIN,LPT1:\r\n";
    const std::string kOther = "Other Laser=LASER,LPT2:\r\n", kMoved = "device=Other Laser,LASER,LPT2:\r\n";
    const std::string kNetwork = "\\\\SERVER\\Laser";
    struct Row {
        const char *what;
        std::string windows, devices;  // the lines of [windows], and of [Devices] after the printer's
        std::string windowsAfter, valueAfter;  // valueAfter "": Default deleted
        bool nt;
    } rows[] = {
        {"the printer machine", "", "", "", "Other Laser", false},
        {"device= names another printer", kMoved, kOther, kMoved, "Other Laser", false},
        {"no other printer", kDevice, "", "", "", false},
        {"NT, a printer on the network", kDevice, kNetwork + "=LASER,LPT2:\r\n",
         "device=" + kNetwork + ",LASER,LPT2:\r\n", kNetwork, true},
    };
    const std::string kIni = "C:\\WINDOWS\\WIN.INI";
    for (const Row &row : rows) {
        SetUp();
        sim::SetNtFamily(row.nt);
        std::string after = printer::WinIniAfter();
        if (!row.windows.empty()) {
            sim::AddFile(kIni, "[windows]\r\n" + row.windows + "[Devices]\r\n" + printer::kDevicesLine + "\r\n" +
                                   row.devices);
            sim::SetString(printer::kPrintersKey, "Default", printer::kName);
            sim::AddKey(printer::kInstalledPrinters + std::string(printer::kOtherPrinter));
            after = "[windows]\r\n" + row.windowsAfter + "[Devices]\r\n" + row.devices;
        } else {
            printer::Install();
        }
        RemoveDriver();
        EXPECT_EQ(after, sim::FileBytes(kIni)) << row.what;
        EXPECT_EQ(row.valueAfter.empty() ? "none" : "1 " + row.valueAfter + '\0', printer::DefaultValue()) << row.what;
        bool moved = row.windows.empty() || row.windows != row.windowsAfter;
        EXPECT_EQ(moved ? Broadcasts({"devices", "windows"}) : Broadcasts({"devices"}), sim::Lines("SendMessageTimeoutA"))
            << row.what;
    }
}

TEST_F(RemovalTest, ShortcutsThenTheEmptyGroup)
{
    printer::Install();
    RemoveDriver();

    std::vector<std::string> deleted = Deleted();
    ASSERT_GE(deleted.size(), printer::kShortcuts.size());
    EXPECT_EQ(printer::kShortcuts, std::vector<std::string>(deleted.begin(), deleted.begin() + printer::kShortcuts.size()));
    EXPECT_EQ(std::vector<std::string>({std::string("RemoveDirectoryA(\"") + printer::kGroup + "\") = 1"}),
              sim::Lines("RemoveDirectoryA"));
    int query = IndexWith("RegQueryValueExA", "Programs");
    ASSERT_GT(query, 0);
    EXPECT_EQ("RegQueryValueExA(<HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders>, "
              "\"Programs\", 260) = 0",
              sim::Trace()[query].str());
    EXPECT_EQ("RegCloseKey", sim::Trace()[query + 1].fn);
    EXPECT_FALSE(sim::Exists(printer::kGroup));
    EXPECT_TRUE(sim::Exists(printer::kPrograms));
}

TEST_F(RemovalTest, GroupHoldingOtherFilesStays)
{
    printer::Install();
    std::string mine = std::string(printer::kGroup) + "\\My notes.TXT";
    sim::AddFile(mine, "notes");
    RemoveDriver();
    EXPECT_EQ(0, sim::Calls("RemoveDirectoryA").at(0).result);
    EXPECT_TRUE(sim::Exists(mine));
    for (const std::string &link : printer::kShortcuts)
        EXPECT_FALSE(sim::Exists(link));
}

TEST_F(RemovalTest, SystemFilesInListOrder)
{
    printer::Install();
    RemoveDriver();
    std::vector<std::string> deleted = Deleted();
    ASSERT_EQ(Files(), deleted.size()) << "the shortcuts, then the system files";
    for (size_t i = 0; i < printer::kSystemFiles.size(); i++)
        EXPECT_EQ(std::string("C:\\WINDOWS\\SYSTEM\\") + printer::kSystemFiles[i], deleted[printer::kShortcuts.size() + i]) << i;
    for (const std::string &name : printer::kSystemFiles)
        EXPECT_FALSE(sim::Exists(std::string("C:\\WINDOWS\\SYSTEM\\") + name)) << name;
}

// Files are deleted where Windows says its system folder is; the lines for
// the next start always name C:\WINDOWS\SYSTEM.
TEST_F(RemovalTest, ElsewhereInstalledWindows)
{
    sim::SetSystemDirectory("D:\\WIN95\\SYSTEM");
    sim::SetWindowsDirectory("D:\\WIN95");
    sim::AddDir("D:\\WIN95\\SYSTEM");
    sim::AddFile("D:\\WIN95\\SYSTEM\\OX46RS.DLL", "x");
    RemoveDriver();
    EXPECT_EQ("D:\\WIN95\\SYSTEM\\" + printer::kSystemFiles[0], Deleted().at(printer::kShortcuts.size()));
    EXPECT_FALSE(sim::Exists("D:\\WIN95\\SYSTEM\\OX46RS.DLL"));
    EXPECT_EQ(kTwoLines, sim::FileBytes("D:\\WIN95\\WININIT.INI"));
    EXPECT_FALSE(sim::Exists("C:\\WINDOWS\\WININIT.INI"));
}

// A system file that cannot go now goes at the next start: a read-only one
// loses its attribute and is deleted at once, one in use is named in
// WININIT.INI after the two fixed lines (by its short path) or, on the NT
// family, queued through MoveFileExA. A shortcut in use just stays.
TEST_F(RemovalTest, FilesThatCannotGoNowGoAtTheNextStart)
{
    const std::string sys = "C:\\WINDOWS\\SYSTEM\\";
    struct Row {
        const char *what;
        std::vector<std::string> inUse, readOnly;
        std::string systemDir;  // "" for C:\WINDOWS\SYSTEM
        bool nt;
        std::string extraLines;  // after the two fixed ones
        std::vector<std::string> delayed;
        std::vector<std::string> left;  // system files, in list order
    } rows[] = {
        {"in use", {"OX46STAT.EXE", "OX46SHEL.DLL"}, {}, "", false,
         "NUL=" + sys + "OX46SHEL.DLL\r\nNUL=" + sys + "OX46STAT.EXE\r\n", {},
         {"OX46SHEL.DLL", "OX46STAT.EXE"}},
        {"read-only", {}, {"OX46HLP.HLP"}, "", false, "", {}, {}},
        {"read-only and in use", {"OX46RS.DLL"}, {"OX46RS.DLL"}, "", false,
         "NUL=" + sys + "OX46RS.DLL\r\n", {}, {"OX46RS.DLL"}},
        {"already named by a fixed line", {"OX46PRIN.DLL", "OX46LANG.DLL"}, {}, "", false, "", {},
         {"OX46PRIN.DLL", "OX46LANG.DLL"}},
        {"named by a fixed line, in lower case on the disk", {"ox46prin.dll"}, {}, "", false, "", {},
         {"OX46PRIN.DLL"}},
        {"a system folder with a long name", {"OX46PRIN.DLL"}, {}, "C:\\Windows 95\\System Files", false,
         "NUL=C:\\WINDOW~1\\SYSTEM~1\\OX46PRIN.DLL\r\n", {}, {"OX46PRIN.DLL"}},
        {"NT", {"OX46PRIN.DLL", "OX46TN32.DLL"}, {"OX46TN32.DLL"}, "", true, "",
         {sys + "OX46PRIN.DLL", sys + "OX46TN32.DLL"}, {"OX46PRIN.DLL", "OX46TN32.DLL"}},
    };
    for (const Row &row : rows) {
        SetUp();
        const std::string dir = row.systemDir.empty() ? sys : row.systemDir + "\\";
        if (!row.systemDir.empty())
            sim::SetSystemDirectory(row.systemDir);
        sim::SetNtFamily(row.nt);
        printer::Install();
        for (const std::string &name : printer::kSystemFiles)
            sim::AddFile(dir + name, "MZ");
        for (const std::string &name : row.inUse) {
            sim::AddFile(dir + name, "MZ");  // named on the disk as the row spells it
            sim::SetInUse(dir + name);
        }
        for (const std::string &name : row.readOnly)
            sim::SetReadOnly(dir + name);
        RemoveDriver();
        EXPECT_EQ(kTwoLines + row.extraLines, sim::FileBytes("C:\\WINDOWS\\WININIT.INI")) << row.what;
        EXPECT_EQ(row.delayed, sim::DelayedDeletions()) << row.what;
        // A read-only file is tried again once its attribute is cleared.
        EXPECT_EQ(Files() + row.readOnly.size(), Deleted().size()) << row.what;
        std::vector<std::string> left;
        for (const std::string &name : printer::kSystemFiles)
            if (sim::Exists(dir + name))
                left.push_back(name);
        EXPECT_EQ(row.left, left) << row.what;
        EXPECT_EQ(row.readOnly.size(), sim::Calls("SetFileAttributesA").size()) << row.what;
        for (const sim::Call &c : sim::Calls("SetFileAttributesA"))
            EXPECT_EQ("0x20", c.args.at(1)) << row.what << ": only the read-only attribute goes";
    }
}

// Where every deletion succeeds, the removal makes the calls it always made:
// one DeleteFileA for each file, two rewrites of WININIT.INI, nothing more.
TEST_F(RemovalTest, NothingRefusedNothingNewCalled)
{
    printer::Install();
    RemoveDriver();
    EXPECT_EQ(Files(), Deleted().size());
    for (const char *fn : {"GetFileAttributesA", "SetFileAttributesA", "GetShortPathNameA", "GetModuleHandleA",
                           "GetProcAddress"})
        EXPECT_EQ(0u, sim::Calls(fn).size()) << fn;
    EXPECT_EQ(1u, sim::Calls("GetVersion").size()) << "where a new default is looked for, printers are keys on the 95 family";
}

// The shortcuts are not among the files to go at the next start.
TEST_F(RemovalTest, AShortcutInUseStays)
{
    printer::Install();
    sim::SetInUse(printer::kShortcuts[0]);
    RemoveDriver();
    EXPECT_EQ(std::vector<std::string>({printer::kShortcuts[0], printer::kGroup}), printer::Remaining());
    EXPECT_EQ(kTwoLines, sim::FileBytes("C:\\WINDOWS\\WININIT.INI"));
}

TEST_F(RemovalTest, NothingInstalledEveryStepPassesOverSilently)
{
    RemoveDriver();
    EXPECT_EQ(printer::kFixedKeys.size(), sim::Calls("RegDeleteKeyA").size());
    for (const sim::Call &c : sim::Calls("RegDeleteKeyA"))
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, c.result) << c.str();
    EXPECT_EQ(2u * scan_model::Count(scan_model::ModelPass({}), "open"), sim::Calls("RegOpenKeyExA").size() - 2)
        << "two empty scan passes, the printers' key and Shell Folders";
    // No Programs folder: the group is looked for at the root of the current drive.
    std::vector<std::string> deleted = Deleted(), atTheRoot;
    for (const std::string &name : printer::kShortcutNames)
        atTheRoot.push_back(std::string("\\") + printer::kGroupName + "\\" + name);
    ASSERT_EQ(Files(), deleted.size());
    EXPECT_EQ(atTheRoot, std::vector<std::string>(deleted.begin(), deleted.begin() + printer::kShortcuts.size()));
    EXPECT_EQ(std::vector<std::string>({"\\Oxtrel Lintora 460D"}), Args("RemoveDirectoryA"));
    EXPECT_EQ(kTwoLines, sim::FileBytes("C:\\WINDOWS\\WININIT.INI"));
}

TEST_F(RemovalTest, ASecondRunDoesWhatTheFirstDid)
{
    printer::Install();
    RemoveDriver();
    std::vector<std::string> firstKeys = KeyNames();
    auto firstFiles = Deleted();
    sim::ClearTrace();

    RemoveDriver();

    std::vector<std::string> secondKeys = KeyNames();
    ASSERT_EQ(printer::kFixedKeys.size(), secondKeys.size()) << "the instance keys are gone already";
    EXPECT_EQ(std::vector<std::string>(firstKeys.begin(), firstKeys.begin() + printer::kFixedKeys.size()), secondKeys);

    EXPECT_EQ(firstFiles, Deleted());
    EXPECT_EQ(kTwoLines + printer::kWininitLines, sim::FileBytes("C:\\WINDOWS\\WININIT.INI"));
}

TEST_F(RemovalTest, SystemDirectoryTooLongToName)
{
    struct Row {
        size_t length;
        size_t longest;  // the longest file name whose path still fits in 259 characters
    } rows[] = {
        {17, 241},  // C:\WINDOWS\SYSTEM
        {247, 11},
        {250, 8},
        {259, 0},
        {300, 0},   // longer than the buffer: nothing is filled in
    };
    for (const Row &row : rows) {
        SetUp();
        std::string dir = "C:\\" + std::string(row.length - 3, 'S');
        if (row.length == 17)
            dir = "C:\\WINDOWS\\SYSTEM";
        sim::SetSystemDirectory(dir);
        RemoveDriver();
        std::vector<std::string> deleted = Deleted();
        size_t fit = std::count_if(printer::kSystemFiles.begin(), printer::kSystemFiles.end(),
                                   [&](const std::string &name) { return name.size() <= row.longest; });
        EXPECT_EQ(fit, deleted.size() - printer::kShortcuts.size()) << row.length;
        for (size_t i = printer::kShortcuts.size(); i < deleted.size(); i++)
            EXPECT_EQ(0u, deleted[i].find(dir)) << deleted[i];
    }
}

}  // namespace
