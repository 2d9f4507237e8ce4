# Fuzz targets (libFuzzer, clang, AddressSanitizer) over the stand-in device and the library as the
# plain build makes them: `make fuzz` runs each for FUZZ_TIME seconds, `make fuzz-smoke` (part of
# `make test`) for FUZZ_RUNS inputs each. New inputs go to build-fuzz/corpus/; the seeds in
# fuzz/corpus/ are only read. Included by the top-level Makefile.

fuzz_saved_default_goal := $(.DEFAULT_GOAL)

FUZZ_ROOT := $(patsubst %/,%,$(dir $(patsubst %/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))))
FUZZ_BUILD := $(FUZZ_ROOT)/build-fuzz
FUZZ_LIBS := $(FUZZ_ROOT)/build
FUZZ_CC ?= clang-14
FUZZ_TIME ?= 60
FUZZ_RUNS ?= 400
FUZZ_TARGETS := preferences color_strings theme_set objc_metadata

FUZZ_GNUSTEP_FLAGS := $(filter-out -MMD -MP -g -O2 -I.,$(shell gnustep-config --objc-flags 2>/dev/null))
FUZZ_CFLAGS := -fobjc-runtime=gcc -I/usr/lib/gcc/x86_64-linux-gnu/12/include $(FUZZ_GNUSTEP_FLAGS) \
  -I$(FUZZ_ROOT) -DDUSKWELL_LIBRARY='"$(FUZZ_LIBS)/duskwell.so"' -std=gnu11 -g -O1 -Wall -Wextra \
  -Wno-unused-parameter -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
FUZZ_LDFLAGS := -fsanitize=fuzzer,address,undefined -L$(FUZZ_LIBS) -Wl,-rpath,$(FUZZ_LIBS) \
  -ldwhost -ldwcolorpicker -ldwuikit -ldwsubstrate -ldwdevice \
  $(shell gnustep-config --base-libs 2>/dev/null) $(shell pkg-config --libs libplist-2.0 2>/dev/null) -ldl

# Each target also compiles, instrumented, the code it is about; the executable's copy is the one
# every library of the stand-in calls.
FUZZ_COMMON := $(FUZZ_ROOT)/fuzz/FuzzHost.m $(FUZZ_ROOT)/sim/device/PropertyListFile.m
fuzz_sources_preferences := $(FUZZ_ROOT)/fuzz/PreferencesFuzz.m
fuzz_sources_color_strings := $(FUZZ_ROOT)/fuzz/ColorStringFuzz.m $(FUZZ_ROOT)/sim/colorpicker/ColorPicker.m
fuzz_sources_theme_set := $(FUZZ_ROOT)/fuzz/ThemeSetFuzz.m $(FUZZ_ROOT)/host/tools/ThemeFiles.m \
  $(FUZZ_ROOT)/host/tools/FileWriting.m

# The app metadata reader of the coverage command: C++, no stand-in device. Its seeds are the fixture
# apps the plain build makes, besides the one in fuzz/corpus/.
FUZZ_CXX ?= clang++-14
fuzz_seeds_objc_metadata := $(FUZZ_LIBS)/device/tests/fixtures
fuzz_sources_objc_metadata := $(FUZZ_ROOT)/fuzz/ObjCMetadataFuzz.cpp $(FUZZ_ROOT)/device/ObjCMetadata.cpp \
  $(FUZZ_ROOT)/device/ObjCMetadataImage.cpp $(FUZZ_ROOT)/device/Coverage.cpp
$(FUZZ_BUILD)/objc_metadata_fuzz: $(fuzz_sources_objc_metadata) $(wildcard $(FUZZ_ROOT)/device/*.h)
	@mkdir -p $(FUZZ_BUILD)
	$(FUZZ_CXX) -std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
	  -I$(FUZZ_ROOT) -I$(FUZZ_ROOT)/device $(shell pkg-config --cflags libplist-2.0 2>/dev/null) -o $@ \
	  $(fuzz_sources_objc_metadata) $(shell pkg-config --libs libplist-2.0 2>/dev/null)

.PHONY: fuzz fuzz-build fuzz-smoke fuzz-clean

$(FUZZ_BUILD)/%_fuzz: $(FUZZ_COMMON) $(FUZZ_ROOT)/fuzz/FuzzHost.h $(FUZZ_LIBS)/duskwell.so
	@mkdir -p $(FUZZ_BUILD)
	$(FUZZ_CC) $(FUZZ_CFLAGS) -o $@ $(FUZZ_COMMON) $(fuzz_sources_$*) $(FUZZ_LDFLAGS)

$(FUZZ_BUILD)/preferences_fuzz: $(fuzz_sources_preferences)
$(FUZZ_BUILD)/color_strings_fuzz: $(fuzz_sources_color_strings)
$(FUZZ_BUILD)/theme_set_fuzz: $(fuzz_sources_theme_set)

fuzz-build: build $(addprefix $(FUZZ_BUILD)/,$(addsuffix _fuzz,$(FUZZ_TARGETS)))

# Leak reports are off: the GNU runtime and GNUstep keep their tables until exit.
FUZZ_RUN = ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

fuzz: fuzz-build
	@set -e; for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target; \
	  echo "fuzz: $$target for $(FUZZ_TIME) s"; \
	  $(FUZZ_RUN) $(FUZZ_BUILD)/$${target}_fuzz -max_total_time=$(FUZZ_TIME) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$target $(FUZZ_ROOT)/fuzz/corpus/$$target \
	    $$([ $$target = objc_metadata ] && echo $(fuzz_seeds_objc_metadata)); \
	done

fuzz-smoke: fuzz-build
	@set -e; for target in $(FUZZ_TARGETS); do \
	  rm -rf $(FUZZ_BUILD)/smoke/$$target; mkdir -p $(FUZZ_BUILD)/smoke/$$target; \
	  $(FUZZ_RUN) $(FUZZ_BUILD)/$${target}_fuzz -runs=$(FUZZ_RUNS) -seed=1 -artifact_prefix=$(FUZZ_BUILD)/ \
	    $(FUZZ_BUILD)/smoke/$$target $(FUZZ_ROOT)/fuzz/corpus/$$target \
	    $$([ $$target = objc_metadata ] && echo $(fuzz_seeds_objc_metadata)) 2>$(FUZZ_BUILD)/smoke/$$target.log \
	    || { cat $(FUZZ_BUILD)/smoke/$$target.log >&2; exit 1; }; \
	  echo "fuzz-smoke: $$target: $(FUZZ_RUNS) inputs, no fault"; \
	done

fuzz-clean:
	rm -rf $(FUZZ_BUILD)

.DEFAULT_GOAL := $(fuzz_saved_default_goal)
