// The instance scan on the simulated machine with 0, 100, 1,000 and 9,999
// consecutive instance keys (0000 upwards, none the printer's) in each pass:
// registry opens per pass and time per run. Before timing, one run checks
// that the scan makes exactly the calls its rules require and no other.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "machine.h"
#include "removal.h"

namespace {

struct PassInfo {
    const char *base;
    const char *value;
};
const PassInfo kPasses[2] = {
    {"Enum\\Root\\printer", "DeviceDesc"},
    {"System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc"},
};

void LayOut(int keys)
{
    sim::Reset();
    for (int pass = 0; pass < 2; pass++) {
        for (int n = 0; n < keys; n++) {
            char number[16];
            std::snprintf(number, sizeof number, "\\%04d", n);
            sim::SetString(std::string("HKLM\\") + kPasses[pass].base + number, kPasses[pass].value,
                           "Other Printer");
        }
    }
}

// Opens a pass makes over keys 0000 to keys-1: each key, then the misses. A
// missing 0000 is free, so an empty pass tries 0000 to 0101; otherwise the
// first miss and the 100 after it, as far as the four-digit numbers go.
int ExpectedOpens(int keys)
{
    if (keys == 0)
        return 102;
    int left = 10000 - keys;  // numbers not yet tried
    return keys + (left < 101 ? left : 101);
}

int CallsIn(const std::string &fn, int pass)
{
    const std::string prefix = fn == "RegOpenKeyExA" ? "\"" : "<HKLM\\";
    int n = 0;
    for (const sim::Call &c : sim::Calls(fn)) {
        const std::string &a = c.args.at(fn == "RegOpenKeyExA" ? 1 : 0);
        n += a.compare(0, prefix.size() + std::string(kPasses[pass].base).size(),
                       prefix + kPasses[pass].base) == 0;
    }
    return n;
}

// What one run does, against what the rules require; "" if they agree.
std::string CheckRun(int keys)
{
    char problem[200] = "";
    for (int pass = 0; pass < 2; pass++) {
        int opens = CallsIn("RegOpenKeyExA", pass);
        int reads = CallsIn("RegQueryValueExA", pass);
        int closes = CallsIn("RegCloseKey", pass);
        if (opens != ExpectedOpens(keys) || reads != keys || closes != keys) {
            std::snprintf(problem, sizeof problem, "pass %d: %d opens (want %d), %d reads, %d closes (want %d)",
                          pass + 1, opens, ExpectedOpens(keys), reads, closes, keys);
            return problem;
        }
    }
    size_t compares = sim::Calls("lstrcmpA").size();
    for (const sim::Call &c : sim::Trace()) {
        if (c.fn != "RegOpenKeyExA" && c.fn != "RegQueryValueExA" && c.fn != "RegCloseKey" &&
            c.fn != "lstrcmpA" && c.fn != "lstrcpyA" && c.fn != "lstrcatA")
            return "unexpected call " + c.str();
    }
    if (compares != 2u * keys)
        return "comparisons: " + std::to_string(compares);
    return "";
}

void BM_ScanInstanceKeys(benchmark::State &state)
{
    const int keys = (int)state.range(0);
    LayOut(keys);
    ScanInstanceKeys();
    std::string problem = CheckRun(keys);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const double opens = CallsIn("RegOpenKeyExA", 0);
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
    LayOut(keys);
    const int opens = ExpectedOpens(keys);
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
