// The default printer's move for any win.ini and any Default value. The
// input: a byte for the Default value's type (0xFF: no value), two for its
// length (little-endian), its bytes, then win.ini's bytes. Windows has every
// printer listed in [Devices], a key each, except those named as keys of
// win.ini's section [no printer key], which the program never reads.
#include <algorithm>
#include <cstdint>

#include "check.h"
#include "machine.h"
#include "printer_machine.h"
#include "removal.h"

namespace {

const char kIni[] = "C:\\WINDOWS\\WIN.INI";
const std::string kPrinter = printer::kName;
const std::string kInstalled = printer::kInstalledPrinters;  // "HKLM\\" and the key the program opens

std::string Upper(std::string s)
{
    for (char &c : s)
        c = (char)(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s;
}

std::string Trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The text before the first comma, blanks around it left out.
std::string NameOf(const std::string &value) { return Trim(value.substr(0, value.find(','))); }

bool IsThePrinter(const std::string &name) { return Upper(NameOf(name)) == Upper(kPrinter); }

// Reads win.ini as programs do, with buffers too big to cut anything: a
// value ends at its first zero.
std::string Profile(const char *section, const char *key, size_t *raw = nullptr, const char *fallback = "")
{
    static char buffer[1 << 16];
    DWORD length = GetProfileStringA(section, key, fallback, buffer, sizeof buffer);
    std::string text(buffer, length);
    if (raw)
        *raw = length;
    return key ? text.substr(0, text.find('\0')) : text;
}

std::vector<std::string> Names(const std::string &list)
{
    std::vector<std::string> out;
    for (size_t at = 0; at < list.size() && list[at] != 0; at = list.find('\0', at) + 1)
        out.push_back(list.substr(at, list.find('\0', at) - at));
    return out;
}

// Whether the program may open the printer's key: a name with a backslash
// would name another key, and the path must fit in 259 characters.
bool CanBeKey(const std::string &name)
{
    return name.find('\\') == std::string::npos && kInstalled.size() - 5 + name.size() < 260;
}

// The device= value a printer of [Devices] makes: its name, its driver and
// its first port, when it is another printer with both, whose line fits in
// 259 characters and whose first port ends within the 259 its value is
// read with, that prints to a port other than NullPort, and that Windows
// has; "" when it makes none.
std::string DeviceOf(const std::string &name, const std::vector<std::string> &keyless)
{
    size_t raw;
    std::string value = Profile("Devices", name.c_str(), &raw);
    size_t comma = value.find(','), next = value.find(',', comma + 1);
    if (IsThePrinter(name) || name.find(',') != std::string::npos || comma == std::string::npos)
        return "";
    std::string driver = Trim(value.substr(0, comma)), port = Trim(value.substr(comma + 1, next - comma - 1));
    std::string line = name + "," + driver + "," + port;
    bool whole = raw < 259 || next < 259;
    bool installed = CanBeKey(name) && std::find(keyless.begin(), keyless.end(), name) == keyless.end();
    bool nowhere = Upper(port) == Upper(Profile("windows", "NullPort", nullptr, "None"));
    return driver.empty() || port.empty() || line.size() > 259 || !whole || nowhere || !installed ? "" : line;
}

}  // namespace

int RunInput(const uint8_t *data, size_t size)
{
    DWORD type = size >= 3 && data[0] != 0xFF ? data[0] : REG_NONE;
    size_t length = size >= 3 ? std::min<size_t>(data[1] | data[2] << 8, size - 3) : 0;
    std::string value((const char *)data + 3, length);
    std::string ini = size >= 3 ? std::string((const char *)data + 3 + length, size - 3 - length)
                                : std::string((const char *)data, size);

    // What the printer's own entries leave, from the machine itself; the
    // default printer then either stays, moves or goes.
    sim::Reset();
    sim::AddFile(kIni, ini);
    WriteProfileStringA("Devices", kPrinter.c_str(), NULL);
    WriteProfileStringA("PrinterPorts", kPrinter.c_str(), NULL);
    size_t deviceLength;  // zeros in it too
    const std::string base = sim::FileBytes(kIni), device = Profile("windows", "device", &deviceLength);
    const std::vector<std::string> names = Names(Profile("Devices", NULL));
    const size_t listed = Profile("Devices", NULL).size();
    // device= is read 259 characters at most: cut before its first comma, it names none.
    const bool deviceCut = deviceLength >= 259 && device.substr(0, 259).find(',') == std::string::npos;

    sim::Reset();
    sim::AddFile(kIni, ini);
    const std::vector<std::string> keyless = Names(Profile("no printer key", NULL));
    for (const std::string &name : names)  // not the printer's own key, nor one under it: the removal deletes them
        if (std::find(keyless.begin(), keyless.end(), name) == keyless.end() && Upper(name) != Upper(kPrinter) &&
            Upper(name).rfind(Upper(kPrinter) + "\\", 0) != 0)
            sim::AddKey(kInstalled + name);
    sim::AddKey(printer::kPrintersKey);
    if (type != REG_NONE)
        sim::SetValue(printer::kPrintersKey, "Default", type, value);
    const std::string valueBefore = printer::DefaultValue(), registry = printer::WithoutDefault(sim::DumpRegistry());
    RemoveDriver();
    // What the run wrote into device=: a duplicate line may show once it is gone.
    std::string written = device;
    bool moved = false;
    for (const sim::Call &c : sim::Calls("WriteProfileStringA"))
        if (c.args.at(0) == "\"windows\"") {
            written = c.args.at(2) == "NULL" ? "" : c.args.at(2).substr(1, c.args.at(2).size() - 2);
            moved = true;
        }
    const std::vector<sim::Call> trace = sim::Trace(), opens = sim::Calls("RegOpenKeyExA");
    std::vector<std::string> told;
    for (const sim::Call &c : sim::Calls("SendMessageTimeoutA"))
        told.push_back(c.args.at(3));
    const std::vector<std::string> sections = moved ? std::vector<std::string>{"\"devices\"", "\"windows\""}
                                                    : std::vector<std::string>{"\"devices\""};
    const std::string after = sim::FileBytes(kIni);
    const std::string valueAfter = printer::DefaultValue(), registryAfter = printer::WithoutDefault(sim::DumpRegistry());

    REQUIRE(sim::Errors().empty(), "the machine played the run", "%s", sim::Errors().front().c_str());
    REQUIRE(told == sections && trace.size() >= told.size() &&
                std::all_of(trace.end() - told.size(), trace.end(),
                            [](const sim::Call &c) { return c.fn == "SendMessageTimeoutA"; }),
            "running programs are told of [Devices], and of [windows] when device= changed, last",
            "%zu broadcasts", told.size());
    for (const sim::Call &c : opens) {
        std::string key = c.args.at(1).substr(1, c.args.at(1).size() - 2);
        REQUIRE(c.args.at(0) != "HKEY_LOCAL_MACHINE" || key.rfind(kInstalled.substr(5), 0) != 0 ||
                    CanBeKey(key.substr(kInstalled.size() - 5)),
                "a printer's key is opened only where its name can be one", "%s", c.str().c_str());
    }
    REQUIRE(registryAfter == registry, "nothing but Default changes in the registry", "%s",
            sim::DumpRegistry().c_str());
    if (deviceCut || !IsThePrinter(device)) {
        REQUIRE(after == base, "device= that does not name the printer stays as it was", "%s, expected %s",
                Shown(after).c_str(), Shown(base).c_str());
    } else {
        std::string want;  // the first printer that makes a device= line, and where its name ends in the list
        size_t end = 0;
        for (const std::string &name : names)
            if (want.empty()) {
                want = DeviceOf(name, keyless);
                end += name.size() + 1;
            }
        sim::AddFile(kIni, base);  // on the run's machine, whose open handles are still to be seen
        WriteProfileStringA("windows", "device", written.empty() ? NULL : written.c_str());
        REQUIRE(after == sim::FileBytes(kIni), "only device= changes in win.ini", "%s from %s",
                Shown(after).c_str(), Shown(base).c_str());
        // The list is read 1024 characters at most: one too long for them
        // ends in a name that may be cut, which is not used, and the printers
        // after it are not seen.
        REQUIRE(written == want || (written.empty() && listed + 2 >= 1024 && end >= 1022),
                "the new default is the first other printer Windows has, with a driver and a port", "%s, expected %s",
                Shown(written).c_str(), Shown(want).c_str());
    }

    // Default follows device= when it named the printer, and goes with it; a
    // name that fills the buffer it is read with may be cut, and is none.
    bool named = type == REG_SZ && value.size() <= 260 && value.find('\0') != std::string::npos &&
                 IsThePrinter(value.substr(0, value.find('\0')));
    bool cut = written == device && deviceCut;
    std::string name = cut ? "" : NameOf(written);
    std::string want = !named ? valueBefore : name.empty() ? "none" : "1 " + name + '\0';
    REQUIRE(valueAfter == want, "Default names the new default printer, or goes", "%s, expected %s",
            Shown(valueAfter).c_str(), Shown(want).c_str());
    return 0;
}
