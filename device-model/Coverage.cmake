# The coverage command's parts: the reader of an app's Objective-C metadata, the verdicts per row
# of the hook table, the constructor's run against the app's classes, and their tests on fixture
# apps built here from Objective-C sources (tests/fixtures/).
# The reader and the verdicts know nothing of the model: optimised, as they read files of a hundred
# megabytes, and still checked by the address and undefined-behaviour sanitizers, as they read
# files of unknown origin.
# The host app's own class prefixes are the loader filter's (host/loader-filter/HookTableClasses.c).
add_library(dwappmetadata STATIC ObjCMetadata.cpp ObjCMetadataImage.cpp Coverage.cpp CoverageReport.cpp
  $<TARGET_OBJECTS:dwhooktableclasses>)
target_include_directories(dwappmetadata PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}
  ${PROJECT_SOURCE_DIR}/device-build/macho)
target_link_libraries(dwappmetadata PUBLIC dwscenario PkgConfig::PLIST)
target_compile_options(dwappmetadata PUBLIC ${DUSKWELL_ADDRESS_SANITIZER_COMPILE})
target_link_options(dwappmetadata PUBLIC ${DUSKWELL_ADDRESS_SANITIZER_LINK})

# The constructor's run against the app, and the command.
add_library(dwcoverage STATIC CoverageRun.cpp CoverageCommand.cpp)
target_link_libraries(dwcoverage PUBLIC dwappmetadata devicemodel)

target_link_libraries(duskwell-device PRIVATE dwcoverage)
# The loader filter the build writes beside duskwell.so, when it does.
target_compile_definitions(duskwell-device PRIVATE DUSKWELL_DEFAULT_FILTER="${CMAKE_BINARY_DIR}/duskwell.plist")

add_subdirectory(tests/fixtures)

# The reader and the verdicts on the fixtures, the constructor's run held to the static listing row
# for row, and the command's output and exit status.
add_executable(coverage_tests tests/ObjCMetadataTest.cpp tests/CoverageTest.cpp tests/CoverageRunTest.cpp
  tests/CoverageCommandTest.cpp)
target_link_libraries(coverage_tests PRIVATE dwcoverage GTest::gtest GTest::gtest_main)
target_precompile_headers(coverage_tests REUSE_FROM device_model_tests)
target_include_directories(coverage_tests PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(coverage_tests coverage-fixtures)
target_compile_definitions(coverage_tests PRIVATE
  DUSKWELL_DEVICE_DYLIB="${DUSKWELL_DEVICE_DYLIB}"
  DUSKWELL_COVERAGE_FIXTURES="${DUSKWELL_COVERAGE_FIXTURES}"
  DUSKWELL_DEVICE_COMMAND="$<TARGET_FILE:duskwell-device>"
  DUSKWELL_DEFAULT_FILTER="${CMAKE_BINARY_DIR}/duskwell.plist")
add_dependencies(coverage_tests duskwell-device duskwell-dylib)
add_test(NAME coverage COMMAND coverage_tests)
