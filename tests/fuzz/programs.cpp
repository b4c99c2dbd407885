// The program group's removal for any Programs value in Shell Folders. The
// input: a byte for the value's type, then its bytes; an empty input, no value.
#include <algorithm>
#include <cstdint>

#include "check.h"
#include "machine.h"
#include "removal.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The rendered path argument of a call, without its quotes.
std::string PathOf(const sim::Call &c)
{
    const std::string &a = c.args.at(0);
    return a.size() >= 2 && a[0] == '"' ? a.substr(1, a.size() - 2) : a;
}

}  // namespace

int RunInput(const uint8_t *data, size_t size)
{
    DWORD type = size > 0 ? data[0] : REG_NONE;
    std::string value((const char *)data + std::min<size_t>(size, 1), (const char *)data + size);

    sim::Reset();
    sim::AddKey(std::string("HKCU\\") + kShellFolders);
    if (size > 0)
        sim::SetValue(std::string("HKCU\\") + kShellFolders, "Programs", type, value);

    RemoveDriver();

    // The Programs folder is the value's text when it is a string that fits
    // the 260-byte buffer with its terminator; else the group is looked for
    // at the root of the current drive.
    size_t end = value.find('\0');
    bool usable = size > 0 && type == REG_SZ && value.size() <= 260 && end != std::string::npos;
    std::string group = (usable ? value.substr(0, end) : "") + "\\Oxtrel Lintora 460D";

    REQUIRE(sim::Errors().empty(), "the machine played the run", "%s", sim::Errors().front().c_str());
    const std::vector<sim::Call> &trace = sim::Trace();
    int start = -1, stop = sim::IndexOf("GetSystemDirectoryA");
    for (size_t i = 0; i < trace.size() && start < 0; i++)
        if (trace[i].fn == "RegOpenKeyExA" && trace[i].args.at(1) == "\"" + std::string(kShellFolders) + "\"")
            start = (int)i;
    REQUIRE(start >= 0 && stop > start, "the group goes before the system files", "at %d and %d", start, stop);
    bool groupRemoved = false;
    for (int i = 0; i < (int)trace.size(); i++) {
        const sim::Call &c = trace[i];
        if (c.fn != "DeleteFileA" && c.fn != "RemoveDirectoryA")
            continue;
        std::string path = PathOf(c);
        REQUIRE(path.size() < MAX_PATH, "no path is longer than 259 characters", "%zu: %s", path.size(),
                Shown(path).c_str());
        if (i < start || i > stop)
            continue;
        bool inGroup = path.compare(0, group.size() + 1, group + "\\") == 0 &&
                       path.find('\\', group.size() + 1) == std::string::npos;
        REQUIRE(path == group || inGroup, "nothing outside the group is deleted", "%s, the group %s",
                Shown(path).c_str(), Shown(group).c_str());
        groupRemoved |= c.fn == "RemoveDirectoryA" && path == group;
    }
    REQUIRE(groupRemoved || group.size() >= MAX_PATH, "the group goes when its path fits", "%s",
            Shown(group).c_str());
    return 0;
}
