# duskwell: `make demo` shows the library at work on the embedded example theme; `make test` runs
# every test, with 64-bit and with 32-bit colour components, and checks the device build.
# A fresh clone starts with ./run (the README's commands), which installs what make needs first.
# Building is quiet: each step's output goes to a log shown only on failure; VERBOSE=1 shows it all.

BUILD      := build
BUILD_F32  := build-f32
BUILD_SAN  := build-asan
CMAKE_ARGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build build-sim build-f32 build-asan demo test test-64 test-32 test-sanitize clean
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
	rm -rf $(BUILD) $(BUILD_F32) $(BUILD_SAN) out dist

include ios/ios.mk
