// WININIT.INI: two NUL= lines at the end of the [rename] section, every other
// byte of the file kept, and never a half-written file where a whole one stood.
#include "fixture.h"
#include "printer_machine.h"
#include "removal.h"

namespace {

const char kIni[] = "C:\\WINDOWS\\WININIT.INI";
const std::string kLines = printer::kWininitLines;

class WininitTest : public MachineTest {};

// Temporary files left in the Windows folder.
std::vector<std::string> Leftovers()
{
    std::vector<std::string> out;
    std::string files = sim::DumpFiles();
    size_t pos = 0;
    while ((pos = files.find(".TMP", pos)) != std::string::npos)
        out.push_back(files.substr(files.rfind('\n', pos) + 1, pos - files.rfind('\n', pos) + 3)), pos++;
    return out;
}

// Where the lines go, over any old file, is the wininit fuzz target's rule
// (tests/fuzz/wininit.cpp); these rows pin it.
TEST_F(WininitTest, LinesGoAtTheEndOfTheRenameSection)
{
    struct Row {
        const char *what;
        const char *before;  // nullptr: no file
        std::string after;
        bool readOnly = false;
    } rows[] = {
        {"no file", nullptr, "[rename]\r\n" + kLines},
        {"lines already there", "[rename]\r\nNUL=C:\\OLD.DLL\r\nC:\\A.DLL=C:\\B.DLL\r\n",
         "[rename]\r\nNUL=C:\\OLD.DLL\r\nC:\\A.DLL=C:\\B.DLL\r\n" + kLines},
        {"header in another case, blank line and another section after",
         "[Rename]\r\nNUL=C:\\OLD.DLL\r\n\r\n[other]\r\nx=1\r\n",
         "[Rename]\r\nNUL=C:\\OLD.DLL\r\n" + kLines + "\r\n[other]\r\nx=1\r\n"},
        {"only another section", "; comment\n[boot]\na=1\n", "; comment\n[boot]\na=1\n[rename]\r\n" + kLines},
        {"a read-only file", "[rename]\r\n", "[rename]\r\n" + kLines, true},
        // DOS's end-of-file mark ends the text; it and what follows it stay.
        {"a bare CR before the mark", "[boot]\r\na=1\r\x1A",
         "[boot]\r\na=1\r\n[rename]\r\n" + kLines + "\x1A"},
    };
    for (const Row &row : rows) {
        SetUp();
        if (row.before)
            sim::AddFile(kIni, row.before);
        if (row.readOnly)
            sim::SetReadOnly(kIni);
        RemoveDriver();
        EXPECT_EQ(row.after, sim::FileBytes(kIni)) << row.what;
        EXPECT_TRUE(Leftovers().empty()) << row.what;
    }
}

// The profile cache is flushed before each rewrite reads the file, so that
// no cached copy can be written back over it afterwards.
TEST_F(WininitTest, ProfileCacheIsFlushedBeforeTheFileIsRead)
{
    sim::AddFile(kIni, "[rename]\r\n");
    RemoveDriver();
    const std::string ini = '"' + std::string(kIni) + '"';
    std::vector<std::string> order;
    for (const sim::Call &c : sim::Trace())
        if (c.fn == "WritePrivateProfileStringA" || (c.fn == "CreateFileA" && c.args.at(0) == ini))
            order.push_back(c.fn == "CreateFileA" ? "open" : c.str());  // one open serves the look and the copy
    const std::string flush = "WritePrivateProfileStringA(NULL, NULL, NULL, \"WININIT.INI\") = 0";
    EXPECT_EQ(std::vector<std::string>({flush, "open", flush, "open"}), order);
}

// Windows makes temporary files in a folder of up to MAX_PATH - 14
// characters; past that, WININIT.INI is left alone.
TEST_F(WininitTest, LongWindowsFolders)
{
    for (size_t length : {(size_t)MAX_PATH - 14, (size_t)MAX_PATH - 13}) {
        SetUp();
        const std::string ini = "C:\\" + std::string(length - 3, 'W') + "\\WININIT.INI";  // a name that still fits
        sim::AddFile(ini, "[rename]\r\n");
        sim::SetWindowsDirectory(ini.substr(0, length));
        RemoveDriver();
        EXPECT_EQ("[rename]\r\n" + (length <= MAX_PATH - 14 ? kLines : ""), sim::FileBytes(ini)) << length;
        EXPECT_EQ(std::vector<std::string>(), Leftovers()) << length;
    }
}

}  // namespace
