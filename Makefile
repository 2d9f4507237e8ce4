# duskwell: `make demo` shows the library at work on the embedded example theme; `make test` runs
# every test, with 64-bit and with 32-bit colour components, and checks the device build.

BUILD      := build
BUILD_F32  := build-f32
BUILD_SAN  := build-asan
CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build build-f32 build-asan demo test test-64 test-32 test-sanitize device-check clean
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

# The device model's own tests load the shipped dylib too.
test-64: build ios
	cd $(BUILD) && ctest --output-on-failure

test-32: build-f32
	cd $(BUILD_F32) && ctest --output-on-failure

# AddressSanitizer and UndefinedBehaviorSanitizer errors fail the run. Leak reports are off: the GNU
# runtime and GNUstep keep their tables until exit; the tests count live objects themselves.
test-sanitize: build-asan ios
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure

test: bootstrap test-64 test-32 test-sanitize ios-check device-check

clean: ios-clean
	rm -rf $(BUILD) $(BUILD_F32) $(BUILD_SAN) out

include ios/ios.mk

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
	device/check-traces --device $(BUILD)/duskwell-device --linux $(BUILD)/duskwell-sim \
	  --linux-f32 $(BUILD_F32)/duskwell-sim --dylib $(device_check_dylib) $(SCENARIOS)
