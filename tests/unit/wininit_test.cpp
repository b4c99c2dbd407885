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

TEST_F(WininitTest, LinesGoAtTheEndOfTheRenameSection)
{
    struct Row {
        const char *what;
        const char *before;  // nullptr: no file
        std::string after;
        bool readOnly = false;
    } rows[] = {
        {"no file", nullptr, "[rename]\r\n" + kLines},
        {"empty file", "", "[rename]\r\n" + kLines},
        {"empty section", "[rename]\r\n", "[rename]\r\n" + kLines},
        {"lines already there", "[rename]\r\nNUL=C:\\OLD.DLL\r\nC:\\A.DLL=C:\\B.DLL\r\n",
         "[rename]\r\nNUL=C:\\OLD.DLL\r\nC:\\A.DLL=C:\\B.DLL\r\n" + kLines},
        {"header in another case, blank line and another section after",
         "[Rename]\r\nNUL=C:\\OLD.DLL\r\n\r\n[other]\r\nx=1\r\n",
         "[Rename]\r\nNUL=C:\\OLD.DLL\r\n" + kLines + "\r\n[other]\r\nx=1\r\n"},
        {"last line without a line end", "[rename]\r\nNUL=C:\\OLD.DLL",
         "[rename]\r\nNUL=C:\\OLD.DLL\r\n" + kLines},
        {"header is the last line, no line end", "[boot]\r\n[rename]", "[boot]\r\n[rename]\r\n" + kLines},
        {"only another section, no line end", "[boot]\r\na=1", "[boot]\r\na=1\r\n[rename]\r\n" + kLines},
        {"only another section", "; comment\n[boot]\na=1\n", "; comment\n[boot]\na=1\n[rename]\r\n" + kLines},
        {"line feeds only are kept", "[rename]\nNUL=C:\\X\n;note\n\n",
         "[rename]\nNUL=C:\\X\n;note\n" + kLines + "\n"},
        {"blanks around the name", "  [ rename ]  \r\n\r\n", "  [ rename ]  \r\n" + kLines + "\r\n"},
        {"a name that only begins like it", "[renamed]\r\nNUL=C:\\X\r\n",
         "[renamed]\r\nNUL=C:\\X\r\n[rename]\r\n" + kLines},
        {"names that are only the start of it", "[r]\r\nNUL=C:\\X\r\n[REN]\r\n[renam]\r\nNUL=C:\\Y\r\n",
         "[r]\r\nNUL=C:\\X\r\n[REN]\r\n[renam]\r\nNUL=C:\\Y\r\n[rename]\r\n" + kLines},
        {"only the first section counts", "[rename]\r\nNUL=C:\\1\r\n[x]\r\n[rename]\r\nNUL=C:\\2\r\n",
         "[rename]\r\nNUL=C:\\1\r\n" + kLines + "[x]\r\n[rename]\r\nNUL=C:\\2\r\n"},
        {"section before others", "[rename]\r\n[boot]\r\n", "[rename]\r\n" + kLines + "[boot]\r\n"},
        {"more of the name after its blanks", "[rename          x]\r\nNUL=C:\\X\r\n",
         "[rename          x]\r\nNUL=C:\\X\r\n[rename]\r\n" + kLines},
        {"blanks on both sides of the name", "[  rename        ]\r\nNUL=C:\\X\r\n",
         "[  rename        ]\r\nNUL=C:\\X\r\n" + kLines},
        {"a blank inside the name", "[re name]\r\nNUL=C:\\X\r\n",
         "[re name]\r\nNUL=C:\\X\r\n[rename]\r\n" + kLines},
        {"an empty header ends the section", "[rename]\r\nNUL=C:\\X\r\n[]\r\nNUL=C:\\Y\r\n",
         "[rename]\r\nNUL=C:\\X\r\n" + kLines + "[]\r\nNUL=C:\\Y\r\n"},
        {"a bare CR ends the last line", "[rename]\r\nNUL=C:\\OLD.DLL\r",
         "[rename]\r\nNUL=C:\\OLD.DLL\r\n" + kLines},
        {"a bare CR before the mark", "[boot]\r\na=1\r\x1A",
         "[boot]\r\na=1\r\n[rename]\r\n" + kLines + "\x1A"},
        {"a read-only file", "[rename]\r\n", "[rename]\r\n" + kLines, true},
        {"many blanks around the name", "[                    rename\t                    ]\r\n",
         "[                    rename\t                    ]\r\n" + kLines},
        // DOS's end-of-file mark ends the text; it and what follows it stay.
        {"end-of-file mark after the section", "[rename]\r\nNUL=C:\\OLD.DLL\r\n\x1A",
         "[rename]\r\nNUL=C:\\OLD.DLL\r\n" + kLines + "\x1A"},
        {"end-of-file mark right after the last line", "[rename]\r\nNUL=C:\\OLD.DLL\x1A\r\n",
         "[rename]\r\nNUL=C:\\OLD.DLL\r\n" + kLines + "\x1A\r\n"},
        {"a section only after the mark", "[boot]\r\na=1\r\n\x1A" "[rename]\r\nNUL=C:\\X\r\n",
         "[boot]\r\na=1\r\n[rename]\r\n" + kLines + "\x1A" "[rename]\r\nNUL=C:\\X\r\n"},
        {"only the mark", "\x1A", "[rename]\r\n" + kLines + "\x1A"},
        {"the mark inside a header", "[boot]\r\n[ren\x1A" "ame]\r\n",
         "[boot]\r\n[ren\r\n[rename]\r\n" + kLines + "\x1A" "ame]\r\n"},
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

// The file is read in chunks; a section and its lines across chunk
// boundaries are found all the same.
TEST_F(WininitTest, LargeFile)
{
    std::string head;
    for (int i = 0; head.size() < 1500; i++)
        head += "; comment line " + std::to_string(i) + "\r\n";
    std::string section = "[rename]\r\n";
    for (int i = 0; i < 60; i++)
        section += "NUL=C:\\TEMP\\FILE" + std::to_string(i) + ".TMP\r\n";
    std::string tail = "\r\n[next]\r\n" + std::string(700, 'x') + "\r\n";
    sim::AddFile(kIni, head + section + tail);

    RemoveDriver();

    EXPECT_EQ(head + section + kLines + tail, sim::FileBytes(kIni));
}

// The file is read 512 bytes at a time; a mark at either side of a chunk's
// end, in the middle of the section's last line, is found all the same.
TEST_F(WininitTest, EndOfFileMarkAtAChunkEdge)
{
    for (size_t at : {511, 512, 513}) {
        SetUp();
        const std::string text = "[rename]\r\nNUL=C:\\" + std::string(at - 17, 'A');
        sim::AddFile(kIni, text + "\x1A" "[boot]\r\n");
        RemoveDriver();
        EXPECT_EQ(text + "\r\n" + kLines + "\x1A" "[boot]\r\n", sim::FileBytes(kIni)) << at;
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
