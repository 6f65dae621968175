// Scaling of the listings with the number of imports (10k, 100k, 1M): the
// whole report of a synthetic DLL from its mapped bytes into the memory view.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "MemoryReportView.h"
#include "Platform.h"
#include "ReportDriver.h"
#include "Synthetic.h"

namespace {

using namespace korvane;

void ReportImportsScaling(benchmark::State& state) {
  bench::TSyntheticShape shape;
  shape.Imports = static_cast<std::uint32_t>(state.range(0));
  shape.Exports = 1000;
  shape.Relocations = 1000;
  const test::TBytes file = bench::SyntheticDll(shape);
  for (auto _ : state) {
    TMemoryReportView view;
    // As korvane-report does: room for a report about as large as the file.
    view.Reserve(file.size(), file.size() / 32);
    TReportDriver driver(view, platform::LocaleDateTimeFormatter());
    driver.ReportMappedFile(TByteView(file.data(), file.size()), "synthetic.dll");
    benchmark::DoNotOptimize(view.Text().data());
  }
  state.SetItemsProcessed(state.iterations() * shape.Imports);
  state.counters["file_bytes"] = static_cast<double>(file.size());
}

BENCHMARK(ReportImportsScaling)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void ReportSyntheticDll(benchmark::State& state) {
  const test::TBytes file = bench::SyntheticDll({});
  for (auto _ : state) {
    TMemoryReportView view;
    view.Reserve(file.size(), file.size() / 32);
    TReportDriver driver(view, platform::LocaleDateTimeFormatter());
    driver.ReportMappedFile(TByteView(file.data(), file.size()), "synthetic.dll");
    benchmark::DoNotOptimize(view.Text().data());
  }
}

BENCHMARK(ReportSyntheticDll)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  // glibc serves a freed block of up to 32 MB from the heap on the next
  // iteration but maps blocks above that afresh each time, page faults and
  // all: without this the largest size alone would pay for fresh pages and
  // the scaling would measure the allocator's threshold, not the listings.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
