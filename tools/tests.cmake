# Tests of quorvane_map_inspect (sources under tests/tool/), included from
# tools/CMakeLists.txt when QUORVANE_BUILD_TESTS is on.

find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
include(GoogleTest)

set(QUORVANE_TOOL_TEST_DIR "${PROJECT_SOURCE_DIR}/tests/tool")
set(QUORVANE_TOOL_SHARED_MAPS "${PROJECT_SOURCE_DIR}/../shared/maps")

# GoogleTest programs over the tool's code (map reading, steps, report, pictures)
# and over the tool itself on the shared real maps.
foreach(_name test_tool_map_io test_tool_inspect test_tool_real_maps)
  add_executable(${_name} "${QUORVANE_TOOL_TEST_DIR}/${_name}.cpp")
  target_include_directories(${_name} PRIVATE "${QUORVANE_TOOL_TEST_DIR}")
  target_link_libraries(${_name} PRIVATE
    quorvane_map_inspect_core GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${_name} PRIVATE
    QUORVANE_INSPECT_TOOL="$<TARGET_FILE:quorvane_map_inspect>"
    QUORVANE_SOURCE_SHARED_MAPS="${QUORVANE_TOOL_SHARED_MAPS}")
  quorvane_set_warnings(${_name})
  gtest_discover_tests(${_name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QUORVANE_SHARED_MAPS=${QUORVANE_TOOL_SHARED_MAPS}")
endforeach()
add_dependencies(test_tool_real_maps quorvane_map_inspect)

# End-to-end runs of the tool: the sample's report, --help, and every error path.
foreach(_case sample_report help missing_file missing_image malformed_yaml unreadable_image
              cell_cannot_fit bad_option unwritable_output)
  add_test(NAME map_inspect.${_case}
    COMMAND ${CMAKE_COMMAND}
      -DTOOL=$<TARGET_FILE:quorvane_map_inspect>
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/e2e/${_case}
      -DCASE=${_case}
      -P "${QUORVANE_TOOL_TEST_DIR}/run_tool_case.cmake")
endforeach()
