# The library: its one list of sources and its one set of flags, for every build of it (duskwell.so
# on Linux, below; both slices of the device's duskwell.dylib, in device-build/). A source added
# here reaches both; the order is the device link's, object after object.
set(DUSKWELL_LIBRARY_SOURCES
  ${PROJECT_SOURCE_DIR}/hooks/Rules.cpp
  ${PROJECT_SOURCE_DIR}/hooks/Tweak.cpp
  ${PROJECT_SOURCE_DIR}/prefs/MainPrefs.cpp
  ${PROJECT_SOURCE_DIR}/prefs/Palette.cpp
  ${PROJECT_SOURCE_DIR}/color/CompareAndHex.mm)
# What only the GNU runtime needs: the loader's work on the library's reference cells, which the
# device's loader does itself.
set(DUSKWELL_LIBRARY_GNU_SOURCES ${PROJECT_SOURCE_DIR}/platform/gnu/References.cpp)

# No C or C++ library (freestanding, not even the C++ headers), no exceptions or RTTI, nothing
# visible that the sources do not mark. Objective-C exceptions stay as each runtime has them: on by
# default for the device, on in GNUstep's flags on Linux; the library throws none.
set(DUSKWELL_LIBRARY_FLAGS -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti -fvisibility=hidden -std=c++17)

# duskwell_library_flags(TARGET): compiles TARGET's sources as the library's, with the tree's own
# optimisation and sanitizers. The device build passes the same list to its compiler (device-build/).
function(duskwell_library_flags target)
  target_compile_options(${target} PRIVATE ${DUSKWELL_LIBRARY_FLAGS})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden OBJCXX_VISIBILITY_PRESET hidden)
endfunction()

# duskwell.so: the library as the stand-in device loads it, with the device build's constraints: no
# C++ or C library, nothing exported but GetPrefBool, one initialiser of ours. The libraries it
# links against are the device's: the runtime, UIKit, the hooking library and the colour picker
# (the stand-in's, defined later in the graph). --as-needed keeps the C++ runtime out.
add_library(duskwell SHARED ${DUSKWELL_LIBRARY_GNU_SOURCES} ${DUSKWELL_LIBRARY_SOURCES})
set_target_properties(duskwell PROPERTIES PREFIX "" LINKER_LANGUAGE C)
duskwell_library_flags(duskwell)
target_link_options(duskwell PRIVATE -Wl,--as-needed -Wl,-z,defs
  -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/exports.map)
target_link_libraries(duskwell PRIVATE dwsubstrate dwcolorpicker dwuikit objc)
