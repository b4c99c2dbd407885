// The instance scan against its model, for any layout of instance keys. The
// input is a list of keys, each five bytes and its description: the number
// (two bytes, below 10000), a byte of flags, the description's length (two
// bytes). Flags: bit 0 the pass, bit 1 the key refuses to open, bits 2-3 how
// its deletion goes, bit 4 no description, bits 5-7 the description's type.
// The seeds found-as-the-budget-runs-out (0099-0101) and sparse-numbers (0077
// read) are laid out for a miss budget of 100, which an input cannot follow:
// with another they still pass, but test less than their names say.
#include <algorithm>
#include <cstdint>

#include "check.h"
#include "machine.h"
#include "removal.h"
#include "scan_model.h"

using scan_model::Instance;

int RunInput(const uint8_t *data, size_t size)
{
    static const DWORD kTypes[8] = {REG_SZ, REG_SZ, REG_SZ, REG_EXPAND_SZ,
                                    REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_NONE};
    static const Instance::Deletion kDeletions[4] = {Instance::kTaken, Instance::kRefusedSilently,
                                                     Instance::kDenied, Instance::kTaken};
    scan_model::Layout layout[2];
    for (size_t pos = 0; pos + 5 <= size;) {
        const uint8_t *head = data + pos;
        size_t length = std::min<size_t>(head[3] | head[4] << 8, size - pos - 5);
        Instance &key = layout[head[2] & 1][(head[0] | head[1] << 8) % 10000];
        key.opens = !(head[2] & 2);
        key.deletion = kDeletions[head[2] >> 2 & 3];
        key.described = !(head[2] & 16);
        key.type = kTypes[head[2] >> 5];
        key.description.assign((const char *)head + 5, length);
        pos += 5 + length;
    }

    sim::Reset();
    for (int pass = 0; pass < 2; pass++)
        for (const auto &k : layout[pass])
            scan_model::AddInstance(pass, k.first, k.second);

    ScanInstanceKeys();

    REQUIRE(sim::Errors().empty(), "the machine played the run", "%s", sim::Errors().front().c_str());
    for (int pass = 0; pass < 2; pass++) {
        std::vector<std::string> model = scan_model::ModelPass(layout[pass]);
        std::string difference = scan_model::FirstDifference(model, scan_model::Recorded(pass));
        REQUIRE(difference.empty(), "the scan follows its model", "pass %d, %s", pass + 1, difference.c_str());
        std::string amiss = scan_model::FirstKeyAmiss(pass, layout[pass], model);
        REQUIRE(amiss.empty(), "only the printer's keys whose deletion took are gone", "%s", amiss.c_str());
    }
    std::string stray = scan_model::FirstStrayCall();
    REQUIRE(stray.empty(), "the scan calls only the registry and the string helpers", "%s", stray.c_str());
    return 0;
}
