// The instance scan on the simulated machine with 0, 100, 1,000 and 9,999
// consecutive instance keys (0000 upwards, none the printer's) in each pass:
// registry opens per pass and time per run. Before timing, one run checks
// that the scan makes exactly the calls its model requires and no other.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "machine.h"
#include "removal.h"
#include "scan_model.h"

using namespace scan_model;

namespace {

Layout LayOut(int keys)
{
    sim::Reset();
    Layout layout = Run(0, keys - 1);
    for (int pass = 0; pass < 2; pass++)
        for (const auto &k : layout)
            AddInstance(pass, k.first, k.second);
    return layout;
}

// What one run does, against what the model says it does; "" if they agree.
std::string CheckRun(const Layout &layout)
{
    const std::vector<std::string> model = ModelPass(layout);
    for (int pass = 0; pass < 2; pass++) {
        std::string difference = FirstDifference(model, Recorded(pass));
        if (!difference.empty())
            return "pass " + std::to_string(pass + 1) + ": " + difference;
    }
    std::string stray = FirstStrayCall();
    if (!stray.empty())
        return "unexpected call " + stray;
    size_t compares = sim::Calls("lstrcmpA").size();
    if (compares != 2u * Count(model, "read"))
        return "comparisons: " + std::to_string(compares);
    return "";
}

void BM_ScanInstanceKeys(benchmark::State &state)
{
    const int keys = (int)state.range(0);
    const Layout layout = LayOut(keys);
    ScanInstanceKeys();
    std::string problem = CheckRun(layout);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const double opens = Count(ModelPass(layout), "open");
    const double calls = (double)sim::Trace().size();

    for (auto _ : state) {
        // The trace grows with every call; empty it outside the timed run.
        state.PauseTiming();
        sim::ClearTrace();
        state.ResumeTiming();
        ScanInstanceKeys();
    }
    // The timed loop has ended: checking the last run costs it nothing.
    if (sim::Trace().size() != calls)
        state.SkipWithError("a later run made other calls than the first");
    sim::ClearTrace();

    state.counters["keys_per_pass"] = keys;
    state.counters["opens_per_pass"] = opens;
    state.counters["calls_per_run"] = calls;
    // Time per open, to see whether the run grows linearly with the keys.
    state.counters["opens_per_s"] =
        benchmark::Counter(2 * opens, benchmark::Counter::kIsIterationInvariantRate);
}

// The same platform calls made straight from here, without the scan: what
// the simulated machine alone costs, to tell its share of the time from the
// scan's.
void BM_SameCallsWithoutTheScan(benchmark::State &state)
{
    const int keys = (int)state.range(0);
    const int opens = Count(ModelPass(LayOut(keys)), "open");
    for (auto _ : state) {
        state.PauseTiming();
        sim::ClearTrace();
        state.ResumeTiming();
        for (int pass = 0; pass < 2; pass++) {
            for (int n = 0; n < opens; n++) {
                char name[MAX_PATH];
                std::snprintf(name, sizeof name, "%s\\%04d", kPasses[pass].base, n);
                HKEY key;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
                    continue;
                char description[260];
                DWORD type, size = sizeof description;
                RegQueryValueExA(key, kPasses[pass].value, NULL, &type, (LPBYTE)description, &size);
                RegCloseKey(key);
                benchmark::DoNotOptimize(lstrcmpA(description, PRINTER_NAME));
            }
        }
    }
    sim::ClearTrace();
    state.counters["keys_per_pass"] = keys;
    state.counters["opens_per_s"] = benchmark::Counter(2.0 * opens, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ScanInstanceKeys)->Arg(0)->Arg(100)->Arg(1000)->Arg(9999)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SameCallsWithoutTheScan)->Arg(0)->Arg(100)->Arg(1000)->Arg(9999)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
