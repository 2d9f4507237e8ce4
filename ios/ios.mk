# The device build: one fat Mach-O dylib with an armv7 and an arm64 slice, both linked against
# hand-written stubs (arm64 by ld64.lld, armv7 by our own duskwell-link) and both signed by
# duskwell-link; the checker that vets both slices, and the .deb. Included by the top-level
# Makefile; also usable on its own as `make -f ios/ios.mk ios`. Every path is taken from the
# repository root, wherever make runs.

# Included before or after the top-level targets, this file leaves the default goal alone.
ios_saved_default_goal := $(.DEFAULT_GOAL)

IOS_ROOT := $(patsubst %/,%,$(dir $(patsubst %/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))))

IOS_LLVM_BIN ?= /usr/lib/llvm-14/bin
IOS_CXX ?= $(IOS_LLVM_BIN)/clang++
IOS_LD ?= $(IOS_LLVM_BIN)/ld64.lld
IOS_LIPO ?= $(IOS_LLVM_BIN)/llvm-lipo
# The linker and signer run on the build machine.
IOS_HOST_CXX ?= g++

IOS_MIN_OS := 9.2
IOS_INSTALL_NAME := /Library/MobileSubstrate/DynamicLibraries/duskwell.dylib

# The package: its control file (everything but Version and Installed-Size, which the build adds),
# the tree copied into it as it stands (the Settings pane), and the version.
IOS_CONTROL := $(IOS_ROOT)/ios/control
IOS_LAYOUT := $(IOS_ROOT)/ios/layout
IOS_VERSION_FILE := $(IOS_ROOT)/VERSION

IOS_BUILD := $(IOS_ROOT)/build-ios
IOS_DIST := $(IOS_ROOT)/dist
IOS_DYLIB := $(IOS_BUILD)/duskwell.dylib
IOS_ARM64_DYLIB := $(IOS_BUILD)/arm64/duskwell.dylib
IOS_ARMV7_DYLIB := $(IOS_BUILD)/armv7/duskwell.dylib
IOS_SIGNING_ID := duskwell
IOS_LINK := $(IOS_BUILD)/tools/duskwell-link
IOS_LINK_SOURCES := $(sort $(wildcard $(IOS_ROOT)/ios/linker/*.cpp))
IOS_LINK_TEST := $(IOS_BUILD)/tools/duskwell-link-test
IOS_LINK_TEST_SOURCES := $(sort $(wildcard $(IOS_ROOT)/ios/linker/test/*.cpp))
IOS_CHECKER := $(IOS_ROOT)/ios/check-device-build
IOS_TESTS := $(IOS_LINK_TEST) $(IOS_ROOT)/ios/test-link-armv7 $(IOS_ROOT)/ios/test-check-device-build \
  $(IOS_ROOT)/ios/test-build-deb
IOS_STUBS := $(sort $(wildcard $(IOS_ROOT)/ios/stubs/*.tbd))

# Exactly the library's sources: nothing from sim/, host/ or tests/.
IOS_CXX_SOURCES := $(sort $(wildcard $(IOS_ROOT)/hooks/*.cpp $(IOS_ROOT)/prefs/*.cpp))
IOS_MM_SOURCES := $(sort $(wildcard $(IOS_ROOT)/color/*.mm))
IOS_OBJECT_NAMES := $(notdir $(IOS_CXX_SOURCES:.cpp=.o) $(IOS_MM_SOURCES:.mm=.o))
IOS_ARM64_OBJECTS := $(addprefix $(IOS_BUILD)/arm64/,$(IOS_OBJECT_NAMES))
IOS_ARMV7_OBJECTS := $(addprefix $(IOS_BUILD)/armv7/,$(IOS_OBJECT_NAMES))

# -Os: the device build is made for size.
IOS_CXXFLAGS := -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti -fvisibility=hidden \
  -std=c++17 -Wall -Wextra -Os -MMD -MP
IOS_LDFLAGS := -arch arm64 -dylib -platform_version ios $(IOS_MIN_OS) $(IOS_MIN_OS) \
  -install_name $(IOS_INSTALL_NAME) -adhoc_codesign

# Compiles one source for one architecture ($1: arm64 or armv7).
define ios_compile_rules
$(IOS_BUILD)/$(1)/%.o: $(IOS_ROOT)/hooks/%.cpp | $(IOS_BUILD)/$(1)
	$(IOS_CXX) -target $(1)-apple-ios$(IOS_MIN_OS) $(IOS_CXXFLAGS) -c $$< -o $$@
$(IOS_BUILD)/$(1)/%.o: $(IOS_ROOT)/prefs/%.cpp | $(IOS_BUILD)/$(1)
	$(IOS_CXX) -target $(1)-apple-ios$(IOS_MIN_OS) $(IOS_CXXFLAGS) -c $$< -o $$@
$(IOS_BUILD)/$(1)/%.o: $(IOS_ROOT)/color/%.mm | $(IOS_BUILD)/$(1)
	$(IOS_CXX) -target $(1)-apple-ios$(IOS_MIN_OS) $(IOS_CXXFLAGS) -x objective-c++ -c $$< -o $$@
$(IOS_BUILD)/$(1):
	mkdir -p $$@
endef
$(eval $(call ios_compile_rules,arm64))
$(eval $(call ios_compile_rules,armv7))

-include $(IOS_ARM64_OBJECTS:.o=.d) $(IOS_ARMV7_OBJECTS:.o=.d)

# Quiet like the top-level build when it defines `step` (one line per step, the output in a log);
# every command shown when this file is used alone.
ifeq ($(value step),)
ios_step = $(3)
else
ios_step = $(call step,$(IOS_BUILD)/logs/$(1).log,$(2),$(3))
endif

# The linker and signer, and the tests of its own logic, from one set of objects. It links a handful
# of objects per build, so it is optimised lightly (-O1 keeps the optimiser's warnings and compiles in
# three quarters of the time); the tests' own code is not optimised at all: GoogleTest's macros are
# slow to optimise and gain nothing from it. ios/macho/ holds the Mach-O vocabulary and bounded reader
# it shares with the device model.
IOS_LINK_FLAGS := -std=c++17 -Wall -Wextra -O1 -MMD -MP -I$(IOS_ROOT)/ios/macho
IOS_LINK_OBJECTS := $(patsubst $(IOS_ROOT)/ios/linker/%.cpp,$(IOS_BUILD)/tools/%.o,$(IOS_LINK_SOURCES))
IOS_LINK_TEST_OBJECTS := $(patsubst $(IOS_ROOT)/ios/linker/test/%.cpp,$(IOS_BUILD)/tools/test/%.o,$(IOS_LINK_TEST_SOURCES))
$(IOS_BUILD)/tools/%.o: $(IOS_ROOT)/ios/linker/%.cpp
	@mkdir -p $(dir $@)
	$(call ios_step,linker-$*,compiling ios/linker/$*.cpp,$(IOS_HOST_CXX) $(IOS_LINK_FLAGS) -c $< -o $@)
$(IOS_BUILD)/tools/test/%.o: $(IOS_ROOT)/ios/linker/test/%.cpp
	@mkdir -p $(dir $@)
	$(call ios_step,linker-test-$*,compiling ios/linker/test/$*.cpp,$(IOS_HOST_CXX) $(IOS_LINK_FLAGS) -O0 \
	  -I$(IOS_ROOT)/ios/linker -c $< -o $@)
$(IOS_LINK): $(IOS_LINK_OBJECTS)
	$(call ios_step,duskwell-link,linking duskwell-link,$(IOS_HOST_CXX) -o $@ $^ -lcrypto)
$(IOS_LINK_TEST): $(IOS_LINK_TEST_OBJECTS) $(filter-out %/main.o,$(IOS_LINK_OBJECTS))
	$(call ios_step,duskwell-link-test,linking duskwell-link-test,$(IOS_HOST_CXX) -o $@ $^ -lgtest -lgtest_main \
	  -pthread -lcrypto)
-include $(IOS_LINK_OBJECTS:.o=.d) $(IOS_LINK_TEST_OBJECTS:.o=.d)

ios_check_inputs = @test -n "$(1)" || { echo "ios.mk: no library sources in hooks/, prefs/ or color/" >&2; exit 1; }; \
  test -n "$(IOS_STUBS)" || { echo "ios.mk: no .tbd stubs in ios/stubs/" >&2; exit 1; }

# arm64: lld links; its signature is replaced by ours (SHA-1 and SHA-256, identifier duskwell).
$(IOS_ARM64_DYLIB): $(IOS_ARM64_OBJECTS) $(IOS_STUBS) $(IOS_LINK)
	$(call ios_check_inputs,$(IOS_ARM64_OBJECTS))
	$(call ios_step,arm64-link,linking the arm64 slice (ld64.lld) and signing it,\
	  $(IOS_LD) $(IOS_LDFLAGS) -o $@.unsigned $(IOS_ARM64_OBJECTS) $(IOS_STUBS) && \
	  $(IOS_LINK) sign -identifier $(IOS_SIGNING_ID) -o $@ $@.unsigned && rm -f $@.unsigned)

# armv7: no linker here takes these objects, so our own links them.
$(IOS_ARMV7_DYLIB): $(IOS_ARMV7_OBJECTS) $(IOS_STUBS) $(IOS_LINK)
	$(call ios_check_inputs,$(IOS_ARMV7_OBJECTS))
	$(call ios_step,armv7-link,linking and signing the armv7 slice (duskwell-link),\
	  $(IOS_LINK) link -o $@ -install_name $(IOS_INSTALL_NAME) -ios_version_min $(IOS_MIN_OS) \
	  -identifier $(IOS_SIGNING_ID) $(IOS_ARMV7_OBJECTS) $(IOS_STUBS))

$(IOS_DYLIB): $(IOS_ARMV7_DYLIB) $(IOS_ARM64_DYLIB)
	$(call ios_step,lipo,joining both slices into build-ios/duskwell.dylib,\
	  $(IOS_LIPO) -create $(IOS_ARMV7_DYLIB) $(IOS_ARM64_DYLIB) -output $@.partial && mv -f $@.partial $@)

.PHONY: ios ios-armv7 ios-check ios-clean package

ios-armv7: $(IOS_ARMV7_DYLIB)

ios: $(IOS_DYLIB) $(IOS_ARMV7_OBJECTS)
	$(IOS_CHECKER) --install-name $(IOS_INSTALL_NAME) --min-os $(IOS_MIN_OS) --identifier $(IOS_SIGNING_ID) \
	  --arches armv7,arm64 $(IOS_DYLIB) $(IOS_ARMV7_OBJECTS)

# What `make test` runs: the build and its check, then the tests of the linker, the checker and the
# packager, side by side, each one's output shown whole when it ends.
IOS_JOBS ?= $(shell nproc 2>/dev/null || echo 2)
IOS_TEST_RUNS := $(addprefix ios-test-,$(notdir $(IOS_TESTS)))
.PHONY: ios-tests $(IOS_TEST_RUNS)
ios-check: ios $(IOS_LINK_TEST)
	@$(MAKE) -f $(IOS_ROOT)/ios/ios.mk --no-print-directory $(if $(findstring jobserver,$(MAKEFLAGS)),,-j$(IOS_JOBS)) \
	  --output-sync=target ios-tests
ios-tests: $(IOS_TEST_RUNS)
$(IOS_TEST_RUNS): export DUSKWELL_LINK := $(IOS_LINK)
$(IOS_TEST_RUNS): ios-test-%:
	@$(filter %/$*,$(IOS_TESTS))

# HOST_BUNDLE_ID, when given, is added to the filter beside the host's classes; it reaches the
# script through the environment, so that no quoting can break the command.
package: export HOST_BUNDLE_ID := $(HOST_BUNDLE_ID)
package: ios
	$(IOS_ROOT)/ios/build-deb --dylib $(IOS_DYLIB) --control $(IOS_CONTROL) --layout $(IOS_LAYOUT) \
	  --version-file $(IOS_VERSION_FILE) $${HOST_BUNDLE_ID:+--bundle-id "$$HOST_BUNDLE_ID"} --out-dir $(IOS_DIST)

ios-clean:
	rm -rf $(IOS_BUILD)

.DEFAULT_GOAL := $(ios_saved_default_goal)
