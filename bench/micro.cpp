// Micro-benchmarks of the pieces every row goes through: the field parsers
// on their own, writing a fixed-point field, julday, the block kernel of
// each instruction set on rows in memory, and whole runs over a report held
// in memory. Input comes from an in-memory sysio, so no time goes to the kernel.
//
//   build/release/bench/bench-micro [--benchmark_filter=REGEX]
#include "converter/converter.h"
#include "converter/fixedpoint.h"
#include "converter/julday.h"
#include "converter/numbers.h"
#include "tabjd/layouts.h"
#include "tabjd2/layouts.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

// What read() serves: text, over and over when endless, else once.
struct source {
    std::string_view text;
    bool endless = true;
    std::size_t at = 0;
} feed;

ssize_t memoryread(int, void* buffer, std::size_t n) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        if (feed.at == feed.text.size()) {
            if (!feed.endless) break;
            feed.at = 0;
        }
        const std::size_t k = std::min(n - done, feed.text.size() - feed.at);
        std::memcpy(out + done, feed.text.data() + feed.at, k);
        feed.at += k;
        done += k;
    }
    return static_cast<ssize_t>(done);
}
ssize_t discard(int, const void*, std::size_t n) {
    return static_cast<ssize_t>(n);
}
bool ready(int) {
    return true;
}
void wait(int, bool) {}
const converter::sysio memory{memoryread, discard, ready, wait};

constexpr std::string_view integertokens[] = {"1921", "12", "31", "1430", "-7", "2147483647"};
constexpr std::string_view realtokens[] = {"82.2",     "93.044",    "-5.125",         "1234.56789",
                                           "77",       "-0.000123", "9.915e3",        "1.5D-3",
                                           "65.11197", "0.1",       "2451545.0069444"};

template <typename T, std::size_t n, typename F>
void cycle(benchmark::State& state, const std::string_view (&tokens)[n], F parse) {
    std::size_t i = 0;
    T v{};
    for (auto _ : state) {
        const std::string_view t = tokens[i];
        i = i + 1 == n ? 0 : i + 1;
        benchmark::DoNotOptimize(parse(t.data(), t.data() + t.size(), v));
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ParseInteger(benchmark::State& state) {
    cycle<std::int32_t>(state, integertokens, converter::parseinteger);
}
BENCHMARK(BM_ParseInteger);

void BM_ParseReal(benchmark::State& state) {
    cycle<double>(state, realtokens, converter::parsereal);
}
BENCHMARK(BM_ParseReal);

void BM_FormatFixed(benchmark::State& state) {
    constexpr double values[] = {2422325.5,   2451545.0069444445, 82.2, -5.125,
                                 93.04450,    0.000005,           1e10, -77.0,
                                 65.11196999, 2460000.99999};
    constexpr std::size_t n = std::size(values);
    char out[converter::fieldwidth];
    std::size_t i = 0;
    for (auto _ : state) {
        converter::fixedcache none; // no column: each field afresh
        converter::formatfixed(values[i], out, none);
        i = i + 1 == n ? 0 : i + 1;
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatFixed);

void BM_Julday(benchmark::State& state) {
    std::int32_t year = 1921, month = 1, day = 1, minutes = 0;
    const std::int32_t hours = 0;
    const double seconds = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(converter::julday(month, day, year, hours, minutes, seconds));
        minutes += 10;
        if (minutes == 1440) {
            minutes = 0;
            if (++day == 29) day = 1, month = month == 12 ? 1 : month + 1, ++year;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Julday);

// A whole report: header, separator and rows in the layouts' mixed styles.
std::string report(std::size_t rows, bool extra) {
    std::string r = "STATION  HER\n\nYEAR MONTH DAY MINUTE ";
    r += extra ? "QUALITY VALUE\n" : "VALUE\n";
    r += "---- ----- --- ------ -----\n";
    constexpr std::string_view values[] = {"82.2", "93.044", "-5.125", "77", "65.11197"};
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string minute = std::to_string(i % 144 * 10);
        const std::string_view x = extra ? " 8.5" : "";
        const std::string_view v = values[i % std::size(values)];
        switch (i % 4) {
        case 0: r += " 1921  1 12 " + minute + std::string(x) + "    " + std::string(v); break;
        case 1: r += "1921,1,12," + minute + (extra ? ",8.5," : ",") + std::string(v); break;
        case 2: r += "1921\t1\t12\t" + minute + (extra ? "\t8.5\t" : "\t") + std::string(v); break;
        default: r += "1921 , 1 , 12 , " + minute + (extra ? " , 8.5 , " : " , ") + std::string(v);
        }
        r += '\n';
    }
    return r;
}

// The block kernel alone, on the rows of a report, for each instruction set.
void BM_Kernel(benchmark::State& state) {
    converter::blockkernel* const kernel = tabjd::program.minuterow.kernels[state.range(0)];
    if (kernel == nullptr) return state.SkipWithError("not in this build");
    std::string text = report(20000, false);
    text = text.substr(text.find("\n----") + 1);
    text = text.substr(text.find('\n') + 1);
    const std::size_t rows = 20000;
    text.append(converter::window, '\0');
    const converter::textspan in{text.data(), text.data() + text.size() - converter::window, 1,
                                 true};
    std::string out((rows + 1) * converter::rowlength, '\0');
    for (auto _ : state) {
        const converter::blockresult r = kernel(in, out.data(), out.data() + out.size());
        if (r.why != converter::halt::ended) state.SkipWithError("kernel stopped early");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows));
}
BENCHMARK(BM_Kernel)->ArgName("set")->DenseRange(0, converter::instructionsets - 1);

void runreport(benchmark::State& state, const converter::program& prog, bool extra) {
    constexpr std::size_t rows = 100000;
    const std::string text = report(rows, extra);
    for (auto _ : state) {
        feed = {text, false, 0};
        if (converter::run(prog, 0, 1, 2, memory) != 0) state.SkipWithError("run failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_RunTabjd(benchmark::State& state) {
    runreport(state, tabjd::program, false);
}
BENCHMARK(BM_RunTabjd)->Unit(benchmark::kMillisecond);

void BM_RunTabjd2(benchmark::State& state) {
    runreport(state, tabjd2::program, true);
}
BENCHMARK(BM_RunTabjd2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
