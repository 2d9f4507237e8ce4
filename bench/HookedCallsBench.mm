// What one hooked call costs with the library loaded: every call reads its preference files afresh,
// so the file reads dominate. Run on the embedded example theme.
#import <Foundation/Foundation.h>

#include <benchmark/benchmark.h>

#import "host/Launcher.h"
#import "host/HostClasses.h"
#import "sim/uikit/UIKit.h"

namespace {

template <typename Body>
void InPool(benchmark::State &state, Body body) {
  for (auto _ : state) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    body();
    [pool release];
  }
}

void TableLayoutPass(benchmark::State &state) {
  UITableView *table = [[UITableView alloc] initWithFrame:DWRectMake(0, 0, 320, 480)];
  InPool(state, [&] { [table layoutSubviews]; });
  [table release];
}
BENCHMARK(TableLayoutPass);

void BackgroundFilter(benchmark::State &state) {
  UIView *view = [[UIView alloc] initWithFrame:DWRectMake(0, 0, 10, 10)];
  UIColor *white = [UIColor whiteColor];
  InPool(state, [&] { [view setBackgroundColor:white]; });
  [view release];
}
BENCHMARK(BackgroundFilter);

void IconColourGetter(benchmark::State &state) {
  id configuration = [[NSClassFromString(@"SPTIconConfiguration") alloc] init];
  InPool(state, [&] { benchmark::DoNotOptimize([configuration iconColor]); });
  [configuration release];
}
BENCHMARK(IconColourGetter);

void LabelTextSetter(benchmark::State &state) {
  UILabel *label = [[UILabel alloc] initWithFrame:DWRectMake(0, 0, 100, 20)];
  UIColor *red = [UIColor redColor];
  InPool(state, [&] { [label setTextColor:red]; });
  [label release];
}
BENCHMARK(LabelTextSetter);

}  // namespace

int main(int argc, char **argv) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSString *error = nil;
  if (!DWLaunchHost(@DUSKWELL_EXAMPLE_ROOT, @DUSKWELL_LIBRARY, &error)) {
    fprintf(stderr, "cannot launch the host: %s\n", [error UTF8String]);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  [pool release];
  return 0;
}
