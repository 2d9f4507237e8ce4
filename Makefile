# duskwell: `make demo` shows the library at work on the embedded example theme; `make test` runs
# every test, with 64-bit and with 32-bit colour components, and checks the device build.

BUILD      := build
BUILD_F32  := build-f32
BUILD_SAN  := build-asan
CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build build-f32 build-asan demo test test-64 test-32 test-sanitize clean
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

CTEST := ctest --output-on-failure -j $(JOBS)

test-64: build
	cd $(BUILD) && $(CTEST)

test-32: build-f32
	cd $(BUILD_F32) && $(CTEST)

# AddressSanitizer and UndefinedBehaviorSanitizer errors fail the run. Leak reports are off: the GNU
# runtime and GNUstep keep their tables until exit; the tests count live objects themselves.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

test-sanitize: build-asan
	cd $(BUILD_SAN) && $(SANITIZER_ENV) $(CTEST)

# The steps of `make test`, in order: pairs of a name and a shell command. The run stops at the first
# step that fails and ends with a table of each step's time.
SUBMAKE := $(MAKE) --no-print-directory
TEST_STEPS := \
  "build, 64-bit components" "$(SUBMAKE) build" \
  "tests, 64-bit components" "cd $(BUILD) && $(CTEST)" \
  "build, 32-bit components" "$(SUBMAKE) build-f32" \
  "tests, 32-bit components" "cd $(BUILD_F32) && $(CTEST)" \
  "build, sanitizers" "$(SUBMAKE) build-asan" \
  "tests, sanitizers" "cd $(BUILD_SAN) && $(SANITIZER_ENV) $(CTEST)" \
  "device build and its checker" "$(SUBMAKE) ios-check"

test: bootstrap
	@scripts/run-steps $(TEST_STEPS)

clean: ios-clean
	rm -rf $(BUILD) $(BUILD_F32) $(BUILD_SAN) out

include ios/ios.mk
