# duskwell: `make demo` shows the library at work on the embedded example theme; `make test` runs
# every test, with 64-bit and with 32-bit colour components, and checks the device build.
# A fresh clone starts with ./run (the README's commands), which installs what make needs first.
# Building is quiet: each step's output goes to a log shown only on failure; VERBOSE=1 shows it all.

BUILD      := build
BUILD_F32  := build-f32
BUILD_SAN  := build-asan
BUILD_TSAN := build-tsan
CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap configure build build-sim build-f32 build-asan demo test test-64 test-32 test-sanitize test-threads device-check device-differential fuzz-differential clean
all: build

# $(call step,LOG,MESSAGE,COMMAND): one line of progress, the command's output in LOG.
ifeq ($(VERBOSE),)
step = @echo "$(2)"; mkdir -p $(dir $(1)); $(3) > $(1) 2>&1 || { tail -n 40 $(1) >&2; \
  echo "make: $(2) failed; the whole output is in $(1)" >&2; exit 1; }
else
step = $(3)
endif

bootstrap:
	@scripts/bootstrap

$(BUILD)/CMakeCache.txt: | bootstrap
	$(call step,$(BUILD)/configure.log,configuring $(BUILD)/,cmake -S . -B $(BUILD) $(CMAKE_ARGS))

$(BUILD_F32)/CMakeCache.txt: | bootstrap
	$(call step,$(BUILD_F32)/configure.log,configuring $(BUILD_F32)/,cmake -S . -B $(BUILD_F32) $(CMAKE_ARGS) \
	  -DDUSKWELL_FLOAT_COMPONENTS=ON -DDUSKWELL_BENCHMARKS=OFF)

$(BUILD_SAN)/CMakeCache.txt: | bootstrap
	$(call step,$(BUILD_SAN)/configure.log,configuring $(BUILD_SAN)/,cmake -S . -B $(BUILD_SAN) $(CMAKE_ARGS) \
	  -DDUSKWELL_SANITIZE=ON -DDUSKWELL_BENCHMARKS=OFF)

build: bootstrap $(BUILD)/CMakeCache.txt
	$(call step,$(BUILD)/build.log,building everything in $(BUILD)/,cmake --build $(BUILD) -j $(JOBS))

# What the demo shows and nothing more: the library and duskwell-sim.
build-sim: bootstrap $(BUILD)/CMakeCache.txt
	$(call step,$(BUILD)/build.log,building duskwell.so and duskwell-sim in $(BUILD)/,\
	  cmake --build $(BUILD) -j $(JOBS) --target duskwell-sim)

build-f32: bootstrap $(BUILD_F32)/CMakeCache.txt
	$(call step,$(BUILD_F32)/build.log,building everything in $(BUILD_F32)/,cmake --build $(BUILD_F32) -j $(JOBS))

build-asan: bootstrap $(BUILD_SAN)/CMakeCache.txt
	$(call step,$(BUILD_SAN)/build.log,building everything in $(BUILD_SAN)/,cmake --build $(BUILD_SAN) -j $(JOBS))

# The example theme: the doctor's reading of its files, then every screen without and with the
# library, side by side; it ends with the picture's path and the doctor's verdict.
demo: build-sim
	@scripts/demo $(BUILD)/duskwell-sim

# The device model's own tests load the shipped dylib too.
CTEST := ctest --output-on-failure -j $(JOBS)

test-64: build ios
	cd $(BUILD) && $(CTEST)

test-32: build-f32
	cd $(BUILD_F32) && $(CTEST)

# AddressSanitizer and UndefinedBehaviorSanitizer errors fail the run. Leak reports are off: the GNU
# runtime and GNUstep keep their tables until exit; the tests count live objects themselves.
test-sanitize: build-asan ios
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

# ThreadSanitizer on the threaded test alone: it builds only that test and what it loads.
$(BUILD_TSAN)/CMakeCache.txt: | bootstrap
	$(call step,$(BUILD_TSAN)/configure.log,configuring $(BUILD_TSAN)/,cmake -S . -B $(BUILD_TSAN) $(CMAKE_ARGS) \
	  -DDUSKWELL_THREAD_SANITIZER=ON -DDUSKWELL_BENCHMARKS=OFF)

test-threads: bootstrap $(BUILD_TSAN)/CMakeCache.txt
	$(call step,$(BUILD_TSAN)/build.log,building the threaded test in $(BUILD_TSAN)/,\
	  cmake --build $(BUILD_TSAN) -j $(JOBS) --target duskwell_thread_tests)
	TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/tests/tsan.supp" $(BUILD_TSAN)/duskwell_thread_tests

# The steps of `make test`, in order, each with its own parts side by side (-j); the run stops at
# the first failing step and ends with a table of each step's time.
TEST_STEPS := configure test-64 test-32 test-sanitize test-threads fuzz-smoke ios-check device-check device-differential

# Every tree's configuration, side by side: each is one process of a few seconds.
configure: $(BUILD)/CMakeCache.txt $(BUILD_F32)/CMakeCache.txt $(BUILD_SAN)/CMakeCache.txt $(BUILD_TSAN)/CMakeCache.txt

test: bootstrap
	@scripts/run-steps $(foreach t,$(TEST_STEPS),"$(t)" "$(MAKE) --no-print-directory -j$(JOBS) $(t)")

clean: ios-clean fuzz-clean
	rm -rf $(BUILD) $(BUILD_F32) $(BUILD_SAN) $(BUILD_TSAN) out dist

include ios/ios.mk
include fuzz/fuzz.mk

# The shipped device dylib run under emulation (build/duskwell-device) through every scenario, each
# slice's trace compared with the Linux build's of its width: arm64 with build/, armv7 with
# build-f32/. `make device-check DYLIB=FILE` checks any thin or fat dylib instead of the one built.
SCENARIOS = $(sort $(wildcard tests/scenarios/*.json))
ifeq ($(origin DYLIB),command line)
device_check_dylib := $(DYLIB)
device_check_needs :=
else
device_check_dylib := $(IOS_DYLIB)
device_check_needs := ios
endif

device-check: build build-f32 $(device_check_needs)
	@test -n "$(SCENARIOS)" || { echo "device-check: no scenarios in tests/scenarios/" >&2; exit 1; }
	@device/check-traces --device $(BUILD)/duskwell-device --linux $(BUILD)/duskwell-sim \
	  --linux-f32 $(BUILD_F32)/duskwell-sim --dylib $(device_check_dylib) $(SCENARIOS)

# Differential runs: generated scenarios (device/generate-scenarios: random files of every form in
# every key) through both executors on both slices. The test command runs a fixed set of seeds;
# `make fuzz` runs batches from fresh seeds for FUZZ_TIME seconds. A batch with a difference is kept
# in $(BUILD)/differential/seed-N/ with its report.
DIFFERENTIAL_SEEDS ?= 1,2
DIFFERENTIAL_COUNT ?= 100
differential_check = --device $(BUILD)/duskwell-device --linux $(BUILD)/duskwell-sim \
  --linux-f32 $(BUILD_F32)/duskwell-sim --dylib $(device_check_dylib)

device-differential: build build-f32 $(device_check_needs)
	@device/run-differential --seeds $(DIFFERENTIAL_SEEDS) --count $(DIFFERENTIAL_COUNT) \
	  --out $(BUILD)/differential -- $(differential_check)

fuzz-differential: build build-f32 $(device_check_needs)
	@device/run-differential --seconds $(FUZZ_TIME) --count 50 --out $(BUILD)/differential -- $(differential_check)

fuzz: fuzz-differential
