// WININIT.INI's editor against the rules, for any old file and one injected
// failure. The input: a byte choosing the failure (bit 3: no file at all;
// bit 4: a seed made for its failure, which must strike), two bytes of
// count, then the old file.
#include <algorithm>
#include <cstdint>

#include "check.h"
#include "machine.h"
#include "removal.h"

namespace {

const char kIni[] = "C:\\WINDOWS\\WININIT.INI";
const char kPath[] = "C:\\WINDOWS\\SYSTEM\\OX46PRIN.DLL";
const std::string kLine = std::string("NUL=") + kPath + "\r\n";
const char kBlanks[] = " \t\r";
const std::string kGrowth = "NUL=C:\\OTHER.DLL\r\n";  // another program's line
const int kMustStrike = 0x10;

// 0: no header; 1: a header; 2: the rename section's. A header is a line
// that starts with '[', blanks aside; its name runs to the first ']'.
int Header(const std::string &line)
{
    size_t open = line.find_first_not_of(kBlanks);
    size_t close = line.find(']');
    if (open == std::string::npos || line[open] != '[' || close == std::string::npos)
        return 0;
    std::string name = line.substr(open + 1, close - open - 1);
    size_t first = name.find_first_not_of(kBlanks), last = name.find_last_not_of(kBlanks);
    name = first == std::string::npos ? "" : name.substr(first, last - first + 1);
    if (name.size() != 6)
        return 1;
    for (int i = 0; i < 6; i++)
        if ((name[i] & ~0x20) != "RENAME"[i])
            return 1;
    return 2;
}

// The old file with the line put in: inside the first rename section, after
// its last line that is not blank, or else in a new section at the end of the
// text. The text ends at the first Ctrl-Z.
std::string Expected(const std::string &old)
{
    size_t text = std::min(old.find('\x1A'), old.size());
    size_t at = text;
    bool section = false;
    for (size_t pos = 0; pos < text;) {
        size_t end = std::min(old.find('\n', pos), text - 1) + 1;
        std::string line = old.substr(pos, end - pos);
        int header = Header(line);
        if (section && header)
            break;
        if (header == 2)
            section = true, at = end;
        else if (section && line.find_first_not_of(" \t\r\n") != std::string::npos)
            at = end;
        pos = end;
    }
    std::string put = at == 0 || old[at - 1] == '\n' ? "" : old[at - 1] == '\r' ? "\n" : "\r\n";
    put += section ? "" : "[rename]\r\n";
    return old.substr(0, at) + put + kLine + old.substr(at);
}

// Whether the call that failed closed a file opened only for reading, which
// loses nothing: the edit may go on or give up.
bool ClosedAReadFile()
{
    for (const sim::Call &c : sim::Trace()) {
        if (c.fn != "CloseHandle" || c.result != 0)
            continue;
        for (const sim::Call &open : sim::Trace())
            if (open.fn == "CreateFileA" && open.args.at(1) == "GENERIC_READ" && open.named == c.args.at(0))
                return true;
    }
    return false;
}

}  // namespace

// Only a seed made for its failure carries the mark. The inputs the fuzzer
// makes from it, by libFuzzer's own mutations, lose it: they may ask for a
// failure that never comes, such as the disk filling after more bytes than
// are written.
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize) __attribute__((weak));
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (size > 0)
        data[0] &= ~kMustStrike;
    return size;
}

int RunInput(const uint8_t *data, size_t size)
{
    int choice = size > 0 ? data[0] : 0;
    int count = (size > 1 ? data[1] : 0) | (size > 2 ? data[2] << 8 : 0);
    std::string old((const char *)data + std::min<size_t>(size, 3), (const char *)data + size);
    bool haveOld = !(choice & 8);

    sim::Reset();
    if (haveOld)
        sim::AddFile(kIni, old);
    int failure = choice & 7;
    std::string before = sim::DumpFiles(), grown;
    if (haveOld && failure == 7) {  // the files once another program has added its line
        sim::AddFile(kIni, old + kGrowth);
        grown = sim::DumpFiles();
        sim::AddFile(kIni, old);
    }
    int nth = 1 + count % 512;
    switch (failure) {
    case 1: sim::FailCall("ReadFile", nth); break;
    case 2: sim::ShortRead(nth); break;
    case 3: sim::FailWritesAfter(count); break;
    case 4: sim::FailCall("MoveFileA", nth); break;
    case 5: sim::FailCall("CloseHandle", nth); break;
    case 6: sim::ShortWrite(nth); break;
    case 7: sim::GrowBeforeRead(nth, kGrowth); break;
    }

    AddWininitDeletion(kPath);

    REQUIRE(sim::Errors().empty(), "the machine played the run", "%s", sim::Errors().front().c_str());
    bool struck = sim::FailureStruck();
    REQUIRE(struck || !(choice & kMustStrike), "a seed's failure strikes", "failure %d, count %d", failure, count);
    if (struck && failure == 7)
        before = grown;  // as they were, with the other program's line
    bool unchanged = sim::DumpFiles() == before;
    if (struck && !ClosedAReadFile()) {
        REQUIRE(unchanged, "a failure leaves the files as they were",
                "failure %d, count %d; after:\n%s\nbefore:\n%s",
                failure, count, sim::DumpFiles().c_str(), before.c_str());
        return 0;
    }
    if (struck && unchanged)
        return 0;
    std::string made = sim::FileBytes(kIni), expected = haveOld ? Expected(old) : "[rename]\r\n" + kLine;
    REQUIRE(made == expected, "the line goes where the rules put it", "old %s\nmade %s\nrule %s",
            haveOld ? Shown(old).c_str() : "(none)", Shown(made).c_str(), Shown(expected).c_str());
    // Nothing else on the disk has changed.
    if (haveOld)
        sim::AddFile(kIni, old);
    else
        DeleteFileA(kIni);
    REQUIRE(sim::DumpFiles() == before, "no file is left behind", "%s", sim::DumpFiles().c_str());
    return 0;
}
