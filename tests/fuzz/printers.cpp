// The default printer's move for any win.ini and any Default value. The
// input: a byte for the Default value's type (0xFF: no value), two for its
// length (little-endian), its bytes, then win.ini's bytes.
#include <algorithm>
#include <cstdint>

#include "check.h"
#include "machine.h"
#include "printer_machine.h"
#include "removal.h"

namespace {

const char kIni[] = "C:\\WINDOWS\\WIN.INI";
const std::string kPrinter = printer::kName;

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
std::string Profile(const char *section, const char *key, size_t *raw = nullptr)
{
    static char buffer[1 << 16];
    DWORD length = GetProfileStringA(section, key, "", buffer, sizeof buffer);
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

// The device= value a printer of [Devices] makes: its name, its driver and
// its first port, when it is another printer with both, whose line fits in
// 259 characters and whose first port ends within the 259 its value is
// read with; "" when it makes none.
std::string DeviceOf(const std::string &name)
{
    size_t raw;
    std::string value = Profile("Devices", name.c_str(), &raw);
    size_t comma = value.find(','), next = value.find(',', comma + 1);
    if (IsThePrinter(name) || name.find(',') != std::string::npos || comma == std::string::npos)
        return "";
    std::string driver = Trim(value.substr(0, comma)), port = Trim(value.substr(comma + 1, next - comma - 1));
    std::string line = name + "," + driver + "," + port;
    bool whole = raw < 259 || next < 259;
    return driver.empty() || port.empty() || line.size() > 259 || !whole ? "" : line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
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
    sim::AddKey(printer::kPrintersKey);
    if (type != REG_NONE)
        sim::SetValue(printer::kPrintersKey, "Default", type, value);
    const std::string valueBefore = printer::DefaultValue(), registry = printer::WithoutDefault(sim::DumpRegistry());
    RemoveDriver();
    // What the run wrote into device=: a duplicate line may show once it is gone.
    std::string written = device;
    for (const sim::Call &c : sim::Calls("WriteProfileStringA"))
        if (c.args.at(0) == "\"windows\"")
            written = c.args.at(2) == "NULL" ? "" : c.args.at(2).substr(1, c.args.at(2).size() - 2);
    const std::string after = sim::FileBytes(kIni);
    const std::string valueAfter = printer::DefaultValue(), registryAfter = printer::WithoutDefault(sim::DumpRegistry());
    const std::vector<sim::Call> told = sim::Calls("SendMessageTimeoutA");
    int last = -1;
    for (size_t i = 0; i < sim::Trace().size(); i++) {
        const std::string &fn = sim::Trace()[i].fn;
        if (fn == "WriteProfileStringA" || fn == "RegSetValueExA" || fn == "RegDeleteValueA")
            last = (int)i;
    }

    REQUIRE(sim::Errors().empty(), "the machine played the run", "%s", sim::Errors().front().c_str());
    REQUIRE(told.size() == 1 && sim::IndexOf("SendMessageTimeoutA") > last,
            "running programs are told once, after the changes", "%zu broadcasts", told.size());
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
                want = DeviceOf(name);
                end += name.size() + 1;
            }
        sim::Reset();
        sim::AddFile(kIni, base);
        WriteProfileStringA("windows", "device", written.empty() ? NULL : written.c_str());
        REQUIRE(after == sim::FileBytes(kIni), "only device= changes in win.ini", "%s from %s",
                Shown(after).c_str(), Shown(base).c_str());
        // The list is read 1024 characters at most: one too long for them
        // ends in a name that may be cut, which is not used, and the printers
        // after it are not seen.
        REQUIRE(written == want || (written.empty() && listed + 2 > 1024 && end >= 1022),
                "the new default is the first other printer with a driver and a port", "%s, expected %s",
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
