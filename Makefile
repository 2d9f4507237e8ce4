# duskwell: `make demo` shows the library at work on the embedded example theme; `make test` runs
# every test, with 64-bit and with 32-bit colour components, and checks the device build.
# A fresh clone starts with ./run (the README's commands), which installs what make needs first.
# Building is quiet: each step's output goes to a log shown only on failure; VERBOSE=1 shows it all.
# CMake builds everything, the device build included; this file only names the trees and runs the
# steps of the test command. Any tree also stands alone: cmake -S . -B T && cmake --build T &&
# ctest --test-dir T.

BUILD      := build
BUILD_F32  := build-f32
BUILD_SAN  := build-asan
BUILD_TSAN := build-tsan
CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap configure build build-sim build-f32 build-asan demo test test-64 test-32 test-sanitize test-threads \
  fuzz-smoke fuzz fuzz-differential device-build device-build-check package device-check device-differential clean
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

# The plain tree also builds the device build, the device model and the fuzz targets; `make package`
# writes the package to dist/.
$(BUILD)/CMakeCache.txt: | bootstrap
	$(call step,$(BUILD)/configure.log,configuring $(BUILD)/,cmake -S . -B $(BUILD) $(CMAKE_ARGS) \
	  -DDUSKWELL_PACKAGE_DIR=$(CURDIR)/dist)

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

# Each tree's own tests. In build/, the device build's tests and the fuzz targets are steps of their
# own (device-build-check, fuzz-smoke); the sanitizers' options are the trees' own (CMakeLists.txt).
CTEST := ctest --output-on-failure -j $(JOBS)
CMAKE_BUILD = cmake --build $(1) -j $(JOBS) $(if $(2),--target $(2))

test-64: build
	cd $(BUILD) && $(CTEST) -LE '^(device-build|fuzz)$$'

test-32: build-f32
	cd $(BUILD_F32) && $(CTEST)

test-sanitize: build-asan
	cd $(BUILD_SAN) && $(CTEST)

# ThreadSanitizer on the threaded test alone: the tree holds only that test and what it loads.
$(BUILD_TSAN)/CMakeCache.txt: | bootstrap
	$(call step,$(BUILD_TSAN)/configure.log,configuring $(BUILD_TSAN)/,cmake -S . -B $(BUILD_TSAN) $(CMAKE_ARGS) \
	  -DDUSKWELL_THREAD_SANITIZER=ON -DDUSKWELL_BENCHMARKS=OFF)

test-threads: bootstrap $(BUILD_TSAN)/CMakeCache.txt
	$(call step,$(BUILD_TSAN)/build.log,building the threaded test in $(BUILD_TSAN)/,$(call CMAKE_BUILD,$(BUILD_TSAN)))
	cd $(BUILD_TSAN) && $(CTEST)

# Each fuzz target for a few hundred inputs (FUZZ_RUNS, default 400); `make fuzz` runs each for
# FUZZ_TIME seconds instead, keeping what it finds in build/fuzz/corpus/, and the differential runs
# (below) for as long.
FUZZ_TARGETS := preferences_fuzz color_strings_fuzz theme_set_fuzz objc_metadata_fuzz macho_loader_fuzz armv7_object_fuzz \
  scenario_fuzz code_signature_fuzz
fuzz-smoke: bootstrap $(BUILD)/CMakeCache.txt
	$(call step,$(BUILD)/fuzz.log,building the fuzz targets in $(BUILD)/,$(call CMAKE_BUILD,$(BUILD),$(FUZZ_TARGETS)))
	cd $(BUILD) && $(CTEST) -L '^fuzz$$'

FUZZ_TIME ?= 60
export FUZZ_TIME
fuzz: bootstrap $(BUILD)/CMakeCache.txt
	$(call CMAKE_BUILD,$(BUILD),fuzz)

# The device build (build/duskwell.dylib, fat: armv7 + arm64), checked as it is built; device-build-check
# adds the tests of the linker, the checker and the packager; `make package` writes the .deb
# (HOST_BUNDLE_ID=... adds the host app's bundle id to the filter, beside its classes).
device-build: bootstrap $(BUILD)/CMakeCache.txt
	$(call step,$(BUILD)/device-build.log,building and checking $(BUILD)/duskwell.dylib,$(call CMAKE_BUILD,$(BUILD),duskwell-dylib))

device-build-check: bootstrap $(BUILD)/CMakeCache.txt
	$(call step,$(BUILD)/device-build.log,building the device build and its tests in $(BUILD)/,\
	  $(call CMAKE_BUILD,$(BUILD),duskwell-dylib duskwell-link-test))
	cd $(BUILD) && $(CTEST) -L '^device-build$$'

package: bootstrap $(BUILD)/CMakeCache.txt
	$(call step,$(BUILD)/package.log,building the package,$(call CMAKE_BUILD,$(BUILD),deb))
	$(if $(VERBOSE),,@grep -h '^build-deb: ' $(BUILD)/package.log)

# The steps of `make test`, in order, each with its own parts side by side (-j); the run stops at
# the first failing step and ends with a table of each step's time.
TEST_STEPS := configure test-64 test-32 test-sanitize test-threads fuzz-smoke device-build-check device-check \
  device-differential

# Every tree's configuration, side by side: each is one process of a few seconds.
configure: $(BUILD)/CMakeCache.txt $(BUILD_F32)/CMakeCache.txt $(BUILD_SAN)/CMakeCache.txt $(BUILD_TSAN)/CMakeCache.txt

test: bootstrap
	@scripts/run-steps $(foreach t,$(TEST_STEPS),"$(t)" "$(MAKE) --no-print-directory -j$(JOBS) $(t)")

clean:
	rm -rf $(BUILD) $(BUILD_F32) $(BUILD_SAN) $(BUILD_TSAN) out dist

# The shipped device dylib run under emulation (build/duskwell-device) through every scenario, each
# slice's trace compared with the Linux build's of its width: arm64 with build/, armv7 with
# build-f32/. `make device-check DYLIB=FILE` checks any thin or fat dylib instead of the one built.
SCENARIOS = $(sort $(wildcard tests/scenarios/*.json))
ifeq ($(origin DYLIB),command line)
device_check_dylib := $(DYLIB)
device_check_targets := duskwell-device duskwell-sim
else
device_check_dylib := $(BUILD)/duskwell.dylib
device_check_targets := duskwell-device duskwell-sim duskwell-dylib
endif

# What device-check and the differential runs execute: the device model and both widths' duskwell-sim.
device_check_build = $(call step,$(BUILD)/$(1).log,building the device model and both widths' duskwell-sim,\
  $(call CMAKE_BUILD,$(BUILD),$(device_check_targets)) && $(call CMAKE_BUILD,$(BUILD_F32),duskwell-sim))
device_check_options = --device $(BUILD)/duskwell-device --linux $(BUILD)/duskwell-sim \
  --linux-f32 $(BUILD_F32)/duskwell-sim --dylib $(device_check_dylib)

device-check: bootstrap $(BUILD)/CMakeCache.txt $(BUILD_F32)/CMakeCache.txt
	$(call device_check_build,device-check)
	@test -n "$(SCENARIOS)" || { echo "device-check: no scenarios in tests/scenarios/" >&2; exit 1; }
	@device-model/check-traces $(device_check_options) $(SCENARIOS)

# Differential runs: generated scenarios (device-model/generate-scenarios: random files of every form
# in every key) through both executors on both slices. The test command runs a fixed set of seeds;
# `make fuzz` runs batches from fresh seeds for FUZZ_TIME seconds. A batch with a difference is kept
# in $(BUILD)/differential/seed-N/ with its report.
DIFFERENTIAL_SEEDS ?= 1,2
DIFFERENTIAL_COUNT ?= 100

device-differential: bootstrap $(BUILD)/CMakeCache.txt $(BUILD_F32)/CMakeCache.txt
	$(call device_check_build,device-differential)
	@device-model/run-differential --seeds $(DIFFERENTIAL_SEEDS) --count $(DIFFERENTIAL_COUNT) \
	  --out $(BUILD)/differential -- $(device_check_options)

fuzz-differential: bootstrap $(BUILD)/CMakeCache.txt $(BUILD_F32)/CMakeCache.txt
	$(call device_check_build,fuzz-differential)
	@device-model/run-differential --seconds $(FUZZ_TIME) --count 50 --out $(BUILD)/differential -- \
	  $(device_check_options)

fuzz: fuzz-differential
