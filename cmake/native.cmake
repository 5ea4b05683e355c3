# Native (Linux) build: the POSIX file search, the unit tests and the benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(quillmere_posix STATIC show/posix_file_finder.cpp)
target_link_libraries(quillmere_posix PUBLIC quillmere_core)

add_executable(unit_tests
    tests/unit/command_line_test.cpp
    tests/unit/dialog_rules_test.cpp
    tests/unit/program_name_test.cpp
    tests/unit/reply_text_test.cpp
    tests/unit/settings_test.cpp
    tests/unit/image_catalogue_test.cpp
    tests/unit/posix_file_finder_test.cpp
    tests/unit/image_cycle_test.cpp
    tests/unit/photo_header_test.cpp
    tests/unit/photo_pipeline_test.cpp
    tests/unit/resample_test.cpp
    tests/unit/veil_fade_test.cpp
    tests/unit/show_arithmetic_test.cpp
)
target_link_libraries(unit_tests PRIVATE quillmere_posix GTest::gtest_main)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

add_executable(catalogue_bench bench/catalogue_bench.cpp)
target_link_libraries(catalogue_bench PRIVATE quillmere_posix)

add_executable(resample_bench bench/resample_bench.cpp)
target_link_libraries(resample_bench PRIVATE quillmere_core)
