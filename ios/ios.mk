# The device build: an arm64 Mach-O dylib linked against hand-written stubs, armv7 objects, the
# checker that vets both, and the .deb. Included by the top-level Makefile; also usable on its own
# as `make -f ios/ios.mk ios`. Every path is taken from the repository root, wherever make runs.

# Included before or after the top-level targets, this file leaves the default goal alone.
ios_saved_default_goal := $(.DEFAULT_GOAL)

IOS_ROOT := $(patsubst %/,%,$(dir $(patsubst %/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))))

IOS_LLVM_BIN ?= /usr/lib/llvm-14/bin
IOS_CXX ?= $(IOS_LLVM_BIN)/clang++
IOS_LD ?= $(IOS_LLVM_BIN)/ld64.lld

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
IOS_CHECKER := $(IOS_ROOT)/ios/check-device-build
IOS_TESTS := $(IOS_ROOT)/ios/test-check-device-build $(IOS_ROOT)/ios/test-build-deb
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

$(IOS_DYLIB): $(IOS_ARM64_OBJECTS) $(IOS_STUBS)
	@test -n "$(IOS_ARM64_OBJECTS)" || { echo "ios.mk: no library sources in hooks/, prefs/ or color/" >&2; exit 1; }
	@test -n "$(IOS_STUBS)" || { echo "ios.mk: no .tbd stubs in ios/stubs/" >&2; exit 1; }
	$(IOS_LD) $(IOS_LDFLAGS) -o $@.tmp $(IOS_ARM64_OBJECTS) $(IOS_STUBS)
	mv -f $@.tmp $@

.PHONY: ios ios-armv7 ios-check ios-clean package

# armv7 is compiled and checked, never linked: no linker here can link armv7.
ios-armv7: $(IOS_ARMV7_OBJECTS)

ios: $(IOS_DYLIB) $(IOS_ARMV7_OBJECTS)
	$(IOS_CHECKER) $(IOS_DYLIB) $(IOS_ARMV7_OBJECTS)

# What `make test` runs: the build and its check, then the tests of the checker and the packager.
ios-check: ios
	@set -e; for test in $(IOS_TESTS); do $$test; done

# HOST_BUNDLE_ID, when given, replaces the host app named in ios/host-bundle-id; it reaches the
# script through the environment, so that no quoting can break the command.
package: export HOST_BUNDLE_ID := $(HOST_BUNDLE_ID)
package: ios
	$(IOS_ROOT)/ios/build-deb --dylib $(IOS_DYLIB) --control $(IOS_CONTROL) --layout $(IOS_LAYOUT) \
	  --version-file $(IOS_VERSION_FILE) $${HOST_BUNDLE_ID:+--bundle-id "$$HOST_BUNDLE_ID"} --out-dir $(IOS_DIST)

ios-clean:
	rm -rf $(IOS_BUILD)

.DEFAULT_GOAL := $(ios_saved_default_goal)
