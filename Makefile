# duskwell: `make demo` shows the library at work on the embedded example theme; `make test` runs
# every test, with 64-bit and with 32-bit colour components, and checks the device build.

BUILD      := build
BUILD_F32  := build-f32
BUILD_SAN  := build-asan
BUILD_TSAN := build-tsan
CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build build-f32 build-asan demo test test-64 test-32 test-sanitize test-threads clean
all: build

bootstrap:
	@scripts/bootstrap

$(BUILD)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

$(BUILD_F32)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD_F32) $(CMAKE_ARGS) -DDUSKWELL_FLOAT_COMPONENTS=ON -DDUSKWELL_BENCHMARKS=OFF

build: bootstrap $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-f32: bootstrap $(BUILD_F32)/CMakeCache.txt
	cmake --build $(BUILD_F32) -j $(JOBS)

$(BUILD_SAN)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD_SAN) $(CMAKE_ARGS) -DDUSKWELL_SANITIZE=ON -DDUSKWELL_BENCHMARKS=OFF

build-asan: bootstrap $(BUILD_SAN)/CMakeCache.txt
	cmake --build $(BUILD_SAN) -j $(JOBS)

# The example theme: every screen without and with the library, side by side, then the doctor's
# reading of the theme's files.
demo: build
	$(BUILD)/duskwell-sim preview
	$(BUILD)/duskwell-sim doctor

test-64: build
	cd $(BUILD) && ctest --output-on-failure

test-32: build-f32
	cd $(BUILD_F32) && ctest --output-on-failure

# AddressSanitizer and UndefinedBehaviorSanitizer errors fail the run. Leak reports are off: the GNU
# runtime and GNUstep keep their tables until exit; the tests count live objects themselves.
test-sanitize: build-asan
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure

# ThreadSanitizer on the threaded test alone: it builds only that test and what it loads.
$(BUILD_TSAN)/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_ARGS) -DDUSKWELL_THREAD_SANITIZER=ON -DDUSKWELL_BENCHMARKS=OFF

test-threads: bootstrap $(BUILD_TSAN)/CMakeCache.txt
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target duskwell_thread_tests
	TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/tests/tsan.supp" $(BUILD_TSAN)/duskwell_thread_tests

test: bootstrap test-64 test-32 test-sanitize test-threads fuzz-smoke ios-check

clean: ios-clean fuzz-clean
	rm -rf $(BUILD) $(BUILD_F32) $(BUILD_SAN) $(BUILD_TSAN) out

include ios/ios.mk
include fuzz/fuzz.mk
