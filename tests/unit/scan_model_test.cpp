// The instance scan against a model of its rules: for many random layouts of
// instance keys, the scan opens, reads, closes unread and deletes exactly
// what the model says it should.
#include <random>
#include <set>

#include "fixture.h"
#include "removal.h"
#include "scan_model.h"

using namespace scan_model;

namespace {

const char kPrinter[] = "Oxtrel Lintora 460D";

enum Kind {
    kOther,         // another printer's description
    kMatch,         // the printer's description
    kRefused,       // the printer's; its deletion reports success and the key stays
    kDenyDelete,    // the printer's; its deletion fails
    kNoValue,       // no description
    kTooLong,       // the printer's name padded to 260 characters
    kUnterminated,  // the printer's name without its terminating zero
    kBinary,        // the printer's name and a zero, as REG_BINARY
    kNumber,        // a REG_DWORD whose bytes spell "Oxtr"
    kDenied,        // the printer's, but the key cannot be opened
};
const int kKinds = kDenied + 1;

// The instance key of a kind.
Instance Make(Kind kind)
{
    const std::string printer = std::string(kPrinter) + '\0';
    Instance key;
    key.description = printer;
    switch (kind) {
    case kOther: key.description = "Oxtrel Lintora 460" + std::string(1, '\0'); break;
    case kMatch: break;
    case kRefused: key.deletion = Instance::kRefusedSilently; break;
    case kDenyDelete: key.deletion = Instance::kDenied; break;
    case kNoValue: key.described = false; break;
    case kTooLong: key.description = std::string(kPrinter) + std::string(241, ' ') + '\0'; break;
    case kUnterminated: key.description = kPrinter; break;
    case kBinary: key.type = REG_BINARY; break;
    case kNumber: key.type = REG_DWORD, key.description = "Oxtr"; break;
    case kDenied: key.opens = false; break;
    }
    return key;
}

Layout Instances(const std::map<int, Kind> &kinds)
{
    Layout keys;
    for (const auto &k : kinds)
        keys[k.first] = Make(k.second);
    return keys;
}

std::string Describe(const std::map<int, Kind> &keys)
{
    std::string out;
    for (const auto &k : keys)
        out += Number(k.first) + ":" + std::to_string(k.second) + " ";
    return out;
}

// A random layout over 0000-0300: sometimes empty, sometimes sparse, sometimes
// nearly every number, with a key now and then where the budget runs out.
std::map<int, Kind> RandomLayout(std::mt19937 &random)
{
    static const double kDensities[] = {0.0, 0.01, 0.03, 0.1, 0.3, 0.6, 0.9, 0.97, 1.0};
    static const int kWeights[kKinds] = {40, 20, 8, 4, 3, 3, 3, 3, 3, 8};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::discrete_distribution<int> kind(std::begin(kWeights), std::end(kWeights));
    double density = kDensities[std::uniform_int_distribution<int>(0, 8)(random)];
    std::map<int, Kind> keys;
    for (int n = 0; n <= 300; n++)
        if (unit(random) < density)
            keys[n] = (Kind)kind(random);
    if (unit(random) < 0.3)
        keys[std::uniform_int_distribution<int>(95, 105)(random)] = (Kind)kind(random);
    return keys;
}

class ScanModelTest : public MachineTest {};

TEST_F(ScanModelTest, RandomLayoutsFollowTheRules)
{
    std::mt19937 random(1234);
    int examined = 0, deletions = 0, unread = 0;
    for (int layout = 0; layout < 400; layout++) {
        SetUp();
        std::map<int, Kind> keys[2] = {RandomLayout(random), RandomLayout(random)};
        for (int pass = 0; pass < 2; pass++)
            for (const auto &k : keys[pass])
                AddInstance(pass, k.first, Make(k.second));

        ScanInstanceKeys();

        for (int pass = 0; pass < 2; pass++) {
            std::vector<std::string> model = ModelPass(Instances(keys[pass]));
            std::string difference = FirstDifference(model, Recorded(pass));
            ASSERT_EQ("", difference) << "layout " << layout << ", pass " << pass + 1 << ": "
                                      << Describe(keys[pass]);
            for (const std::string &e : model) {
                examined += e.compare(0, 4, "read") == 0;
                deletions += e.compare(0, 6, "delete") == 0;
                unread += e.compare(0, 6, "unread") == 0;
            }
            // Only the printer's keys whose deletion took are gone.
            std::set<std::string> events(model.begin(), model.end());
            for (const auto &k : keys[pass]) {
                bool deleted = k.second == kMatch && events.count("delete " + Number(k.first) + " = 0");
                ASSERT_EQ(!deleted, sim::KeyExists(KeyPath(pass, k.first)))
                    << "layout " << layout << ", " << KeyPath(pass, k.first);
            }
        }
    }
    RecordProperty("examined", examined);
    RecordProperty("deletions", deletions);
    RecordProperty("unread", unread);
    // The layouts reached every part of the rules.
    EXPECT_GT(examined, 10000);
    EXPECT_GT(deletions, 1000);
    EXPECT_GT(unread, 10);
}

// The model itself, on layouts whose outcome is known by heart.
TEST(ScanModelSelfTest, ModelKnowsTheBudget)
{
    EXPECT_EQ(102u, ModelPass(Layout()).size());
    std::vector<std::string> closed = ModelPass(Instances({{101, kMatch}}));
    EXPECT_EQ("unread 0101", closed.back());
    std::vector<std::string> three = ModelPass(Instances({{0, kMatch}, {1, kMatch}, {2, kMatch}}));
    int opens = 0;
    for (const std::string &e : three)
        opens += e.compare(0, 4, "open") == 0;
    EXPECT_EQ(100, opens);
    std::vector<std::string> refused = ModelPass(Instances({{0, kRefused}}));
    EXPECT_EQ(std::vector<std::string>({"open 0000 = 0", "read 0000", "delete 0000 = 0", "open 0000 = 0",
                                        "read 0000", "open 0001 = 2", "open 0002 = 2"}),
              std::vector<std::string>(refused.begin(), refused.begin() + 7));
}

}  // namespace
