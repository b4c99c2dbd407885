// Runs the uninstaller on a simulated Windows 95 machine with the printer
// installed: the user presses OK, then answers No to the restart. Prints every
// operation the program made, in order, and what it removed.
#include <cstdio>
#include <string>
#include <vector>

#include "machine.h"
#include "printer_machine.h"

// A line without its result, so that the steps of the bar compare equal.
static std::string Shape(const std::string &line)
{
    return line.substr(0, line.rfind(" = "));
}

static bool Noise(const sim::Call &c)
{
    return c.fn == "lstrcpyA" || c.fn == "lstrcatA" || c.fn == "lstrlenA";
}

int main()
{
    sim::Reset();
    printer::Install();
    printer::AddUnrelated();
    std::string registryBefore = sim::DumpRegistry(), filesBefore = sim::DumpFiles();

    sim::Click("WELCOME", IDOK);
    sim::Answer(IDNO);
    int code = sim::RunProgram();

    std::vector<std::string> lines;
    for (const sim::Call &c : sim::Trace())
        if (!Noise(c))
            lines.push_back(c.str());
    std::printf("Operations, in order (%zu; string copies left out):\n", lines.size());
    for (size_t i = 0; i < lines.size();) {
        // A run of the same pair of lines (the timer stepping the bar) is printed once.
        size_t n = 1;
        while (i + 2 * n + 1 < lines.size() && Shape(lines[i + 2 * n]) == Shape(lines[i]) &&
               Shape(lines[i + 2 * n + 1]) == Shape(lines[i + 1]))
            n++;
        if (n > 2) {
            std::printf("  %s\n  %s\n  ... the two lines above %zu times in all\n", lines[i].c_str(),
                        lines[i + 1].c_str(), n);
            i += 2 * n;
        } else {
            std::printf("  %s\n", lines[i++].c_str());
        }
    }

    std::printf("\nExit code: %d\n\nRemoved from the machine:\n", code);
    std::string registryAfter = sim::DumpRegistry(), filesAfter = sim::DumpFiles();
    auto gone = [](const std::string &before, const std::string &after) {
        size_t pos = 0;
        while (pos < before.size()) {
            size_t end = before.find('\n', pos);
            std::string line = before.substr(pos, end - pos);
            if (after.find(line + "\n") == std::string::npos && line.find(" : ") == std::string::npos)
                std::printf("  %s\n", line.c_str());
            pos = end + 1;
        }
    };
    gone(registryBefore, registryAfter);
    gone(filesBefore, filesAfter);
    std::printf("\nWININIT.INI now:\n%s", sim::FileBytes("C:\\WINDOWS\\WININIT.INI").c_str());
    char device[MAX_PATH];
    GetProfileStringA("windows", "device", "", device, sizeof device);
    std::string name = std::string(device).substr(0, std::string(device).find(','));
    std::printf("\nDefault printer now: %s\n", name.empty() ? "none" : name.c_str());
    std::vector<std::string> left = printer::Remaining();
    std::printf("\nPrinter items left: %zu\n", left.size());
    for (const std::string &item : left)
        std::printf("  %s\n", item.c_str());
    return sim::Errors().empty() ? 0 : 1;
}
