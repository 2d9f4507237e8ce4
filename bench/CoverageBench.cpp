// How long the coverage command takes on a large app (bench/make-coverage-app makes one): reading
// the file, reading its Objective-C metadata, joining the class set and judging the rows, each the
// median of several runs; then the whole command once, as a maintainer runs it.
//
// usage: coverage_bench APP [DYLIB] [RUNS]
#include "Coverage.h"
#include "CoverageRun.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <functional>

using namespace device;

namespace {

// Wall-clock and CPU seconds of one step: on a machine shared with other work the first moves with
// the load, the second much less.
struct Times {
  double wall = 0, cpu = 0;
};

Times Measure(const std::function<void()> &step) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  step();
  return Times{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
               double(std::clock() - cpuStart) / CLOCKS_PER_SEC};
}

// The median of each, over the runs.
Times Median(int runs, const std::function<void()> &step) {
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const Times t = Measure(step);
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return Times{wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void Line(const char *what, const Times &t, const char *note = "") {
  std::printf("  %-24s %7.3f s  %7.3f s%s\n", what, t.wall, t.cpu, note);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: coverage_bench APP [DYLIB] [RUNS]\n");
    return 2;
  }
  const std::string app = argv[1];
  const std::string dylibPath = argc > 2 ? argv[2] : DUSKWELL_DEVICE_DYLIB;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  try {
    std::vector<uint8_t> file;
    const Times read = Median(runs, [&] { file = objc::ReadImageFile(app); });
    objc::ImageMetadata metadata;
    const Times parse = Median(runs, [&] { metadata = objc::ReadObjCMetadata(file, Arch::arm64); });
    size_t methods = 0;
    for (const objc::ClassRecord &c : metadata.classes) methods += c.instanceMethods.size() + c.classMethods.size();
    const std::vector<uint8_t> dylib = ReadFile(dylibPath);
    std::vector<coverage::HookRow> table;
    const Times constructor = Median(runs, [&] { table = coverage::HookTableOf(dylib, coverage::DylibSliceFor(dylib, Arch::arm64)); });
    coverage::Report report;
    // The command hands its metadata over to the class set: copies are made before the clock starts.
    std::vector<objc::ImageMetadata> copies(runs, metadata);
    const Times judge = Median(runs, [&] {
      const coverage::ClassSet classes(std::move(copies.back()), {});
      copies.pop_back();
      report.rows = coverage::Verdicts(table, classes);
    });
    coverage::Summarize(report);
    std::printf("%s: %.1f MB, %zu classes, %zu methods, %zu categories (%s)\n", app.c_str(), file.size() / 1e6,
                metadata.classes.size(), methods, metadata.categories.size(), metadata.fixUps.c_str());
    std::printf("  %-24s %9s  %9s   (median of %d runs each; target: under 2 s)\n", "", "wall", "CPU", runs);
    Line("read the file", read);
    Line("read the metadata", parse);
    Line("run the constructor", constructor, "   (the hook table, from the shipped dylib)");
    Line("class set and verdicts", judge);
    Line("total", Times{read.wall + parse.wall + constructor.wall + judge.wall, read.cpu + parse.cpu + constructor.cpu + judge.cpu});
    std::printf("  %s\n", coverage::SummaryLine(report).c_str());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "coverage_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
