# The coverage command's parts: the reader of an app's Objective-C metadata, the verdicts per row
# of the hook table, the constructor's run against the app's classes, and their tests on fixture
# apps built here from Objective-C sources (tests/fixtures/).
add_library(dwobjcmetadata STATIC ObjCMetadata.cpp ObjCMetadataImage.cpp)
target_include_directories(dwobjcmetadata PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(dwobjcmetadata PUBLIC devicemodel)

add_library(dwcoverage STATIC Coverage.cpp CoverageReport.cpp CoverageRun.cpp CoverageCommand.cpp)
target_link_libraries(dwcoverage PUBLIC dwobjcmetadata devicemodel)

target_link_libraries(duskwell-device PRIVATE dwcoverage)
# The loader filter the build writes beside duskwell.so, when it does.
target_compile_definitions(duskwell-device PRIVATE DUSKWELL_DEFAULT_FILTER="${CMAKE_BINARY_DIR}/duskwell.plist")

add_subdirectory(tests/fixtures)
