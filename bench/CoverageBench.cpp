// How long the coverage command takes on a large app (bench/make-coverage-app makes one): reading
// the file, reading its Objective-C metadata, joining the class set and judging the rows, each the
// median of several runs; then the whole command once, as a maintainer runs it.
//
// usage: coverage_bench APP [DYLIB] [RUNS]
#include "Coverage.h"
#include "CoverageRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

using namespace device;

namespace {

double Seconds(const std::function<void()> &step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(int runs, const std::function<void()> &step) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(Seconds(step));
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
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
    const double read = Median(runs, [&] { file = objc::ReadImageFile(app); });
    objc::ImageMetadata metadata;
    const double parse = Median(runs, [&] { metadata = objc::ReadObjCMetadata(file, Arch::arm64); });
    size_t methods = 0;
    for (const objc::ClassRecord &c : metadata.classes) methods += c.instanceMethods.size() + c.classMethods.size();
    const std::vector<uint8_t> dylib = ReadFile(dylibPath);
    std::vector<coverage::HookRow> table;
    const double constructor = Median(runs, [&] { table = coverage::HookTableOf(dylib, coverage::DylibSliceFor(dylib, Arch::arm64)); });
    coverage::Report report;
    const double judge = Median(runs, [&] {
      const coverage::ClassSet classes(metadata, {});
      report.rows = coverage::Verdicts(table, classes);
    });
    coverage::Summarize(report);
    std::printf("%s: %.1f MB, %zu classes, %zu methods, %zu categories (%s)\n", app.c_str(), file.size() / 1e6,
                metadata.classes.size(), methods, metadata.categories.size(), metadata.fixUps.c_str());
    std::printf("  read the file          %8.3f s\n", read);
    std::printf("  read the metadata      %8.3f s\n", parse);
    std::printf("  run the constructor    %8.3f s   (the hook table, from the shipped dylib)\n", constructor);
    std::printf("  class set and verdicts %8.3f s\n", judge);
    std::printf("  total                  %8.3f s   (median of %d runs each; target: under 2 s)\n",
                read + parse + constructor + judge, runs);
    std::printf("  %s\n", coverage::SummaryLine(report).c_str());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "coverage_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
