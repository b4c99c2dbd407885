// The instance scan against a model of its rules: for many random layouts of
// instance keys, the scan opens, reads, closes unread and deletes exactly
// what the model says it should.
#include <random>

#include "fixture.h"
#include "removal.h"
#include "scan_model.h"

using namespace scan_model;

namespace {

const int kKinds = kLocked + 1;

std::string Describe(const std::map<int, Kind> &keys)
{
    std::string out;
    for (const auto &k : keys)
        out += Number(k.first) + ":" + std::to_string(k.second) + " ";
    return out;
}

// A random layout over three budgets' numbers from 0000: sometimes empty,
// sometimes sparse, sometimes nearly every number, with a key now and then
// where the budget runs out.
std::map<int, Kind> RandomLayout(std::mt19937 &random)
{
    static const double kDensities[] = {0.0, 0.01, 0.03, 0.1, 0.3, 0.6, 0.9, 0.97, 1.0};
    static const int kWeights[kKinds] = {40, 20, 8, 4, 3, 3, 3, 3, 3, 8};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::discrete_distribution<int> kind(std::begin(kWeights), std::end(kWeights));
    double density = kDensities[std::uniform_int_distribution<int>(0, 8)(random)];
    std::map<int, Kind> keys;
    for (int n = 0; n <= 3 * kMissBudget; n++)
        if (unit(random) < density)
            keys[n] = (Kind)kind(random);
    if (unit(random) < 0.3)
        keys[std::uniform_int_distribution<int>(kMissBudget - 5, kMissBudget + 5)(random)] = (Kind)kind(random);
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
                AddInstance(pass, k.first, k.second);

        ScanInstanceKeys();

        for (int pass = 0; pass < 2; pass++) {
            const Layout laid(keys[pass].begin(), keys[pass].end());
            std::vector<std::string> model = ModelPass(laid);
            std::string difference = FirstDifference(model, Recorded(pass));
            ASSERT_EQ("", difference) << "layout " << layout << ", pass " << pass + 1 << ": "
                                      << Describe(keys[pass]);
            examined += Count(model, "read");
            deletions += Count(model, "delete");
            unread += Count(model, "unread");
            // Only the printer's keys whose deletion took are gone.
            ASSERT_EQ("", FirstKeyAmiss(pass, laid, model)) << "layout " << layout;
        }
    }
    RecordProperty("examined", examined);
    RecordProperty("deletions", deletions);
    RecordProperty("unread", unread);
    // The layouts reached every part of the rules; the keys examined and
    // deleted grow with the numbers laid out.
    EXPECT_GT(examined, 100 * kMissBudget);
    EXPECT_GT(deletions, 10 * kMissBudget);
    EXPECT_GT(unread, 10);
}

}  // namespace
