# Provides the INTERFACE target quorvane_ros_messages, which carries the ROS 2
# message types the libraries use (nav_msgs Path, OccupancyGrid, MapMetaData;
# geometry_msgs PoseStamped, PointStamped, PolygonStamped) and the types they
# are made of.
#
# With a ROS 2 installation (find_package(nav_msgs) succeeds) the target simply
# forwards to the installation's targets. Without one, the C++ headers are
# generated at configure time by ROS 2's own IDL tools (Debian packages
# rosidl-tools and rosidl-generator-c-cpp) from the definitions kept under
# cmake/ros_interfaces, into the build tree; they are installed under this
# package's own include prefix so they never shadow a real installation.

set(QUORVANE_MESSAGES_FROM_ROS OFF)
find_package(nav_msgs QUIET)

add_library(quorvane_ros_messages INTERFACE)

if(nav_msgs_FOUND)
  find_package(geometry_msgs REQUIRED)
  set(QUORVANE_MESSAGES_FROM_ROS ON)
  target_link_libraries(quorvane_ros_messages INTERFACE ${nav_msgs_TARGETS} ${geometry_msgs_TARGETS})
  message(STATUS "ROS 2 messages: nav_msgs ${nav_msgs_VERSION} from the ROS 2 installation")
  return()
endif()

find_program(QUORVANE_ROSIDL rosidl)
if(NOT QUORVANE_ROSIDL)
  message(FATAL_ERROR
    "No ROS 2 installation and no 'rosidl' tool found. Install the Debian packages "
    "rosidl-tools rosidl-generator-c-cpp python3-ament-index librosidl-runtime-c-cpp-dev, "
    "or source a ROS 2 installation.")
endif()
foreach(_dir rosidl_runtime_cpp rosidl_runtime_c rosidl_typesupport_interface)
  find_path(QUORVANE_${_dir}_INCLUDE_DIR NAMES ${_dir} PATH_SUFFIXES include)
  if(NOT QUORVANE_${_dir}_INCLUDE_DIR)
    message(FATAL_ERROR "Header folder ${_dir} not found (Debian: librosidl-runtime-c-cpp-dev)")
  endif()
  target_include_directories(quorvane_ros_messages SYSTEM INTERFACE
    "${QUORVANE_${_dir}_INCLUDE_DIR}/${_dir}")
endforeach()

set(_msg_root "${CMAKE_CURRENT_SOURCE_DIR}/cmake/ros_interfaces")
set(_idl_root "${CMAKE_CURRENT_BINARY_DIR}/generated/ros_idl")
set(_gen_root "${CMAKE_CURRENT_BINARY_DIR}/generated/ros_msgs")
# Dependencies first: a package's .idl files refer to those of the packages before it.
set(_packages builtin_interfaces std_msgs geometry_msgs nav_msgs)

file(GLOB_RECURSE _definitions CONFIGURE_DEPENDS "${_msg_root}/*.msg")
string(SHA256 _stamp_new "${_definitions}")
foreach(_def IN LISTS _definitions)
  file(SHA256 "${_def}" _hash)
  string(APPEND _stamp_new "${_hash}")
endforeach()
set(_stamp_file "${_gen_root}/.definitions")
set(_stamp_old "")
if(EXISTS "${_stamp_file}")
  file(READ "${_stamp_file}" _stamp_old)
endif()

if(NOT _stamp_old STREQUAL _stamp_new OR NOT EXISTS "${_gen_root}/nav_msgs/msg/path.hpp")
  file(REMOVE_RECURSE "${_idl_root}" "${_gen_root}")
  foreach(_pkg IN LISTS _packages)
    file(GLOB _msgs RELATIVE "${_msg_root}/${_pkg}" "${_msg_root}/${_pkg}/msg/*.msg")
    execute_process(
      COMMAND "${QUORVANE_ROSIDL}" translate --to idl -o "${_idl_root}/${_pkg}" ${_pkg} ${_msgs}
      WORKING_DIRECTORY "${_msg_root}/${_pkg}"
      RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "rosidl translate failed for ${_pkg}:\n${_out}${_err}")
    endif()
    file(GLOB _idls RELATIVE "${_idl_root}/${_pkg}" "${_idl_root}/${_pkg}/msg/*.idl")
    execute_process(
      COMMAND "${QUORVANE_ROSIDL}" generate -t cpp -o "${_gen_root}/${_pkg}" -I "${_idl_root}"
              ${_pkg} ${_idls}
      WORKING_DIRECTORY "${_idl_root}/${_pkg}"
      RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "rosidl generate failed for ${_pkg}:\n${_out}${_err}")
    endif()
  endforeach()
  file(WRITE "${_stamp_file}" "${_stamp_new}")
endif()
message(STATUS "ROS 2 messages: generated with rosidl into ${_gen_root}")

target_include_directories(quorvane_ros_messages SYSTEM INTERFACE
  $<BUILD_INTERFACE:${_gen_root}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/${PROJECT_NAME}/ros_msgs>)
install(DIRECTORY "${_gen_root}/"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/${PROJECT_NAME}/ros_msgs"
  FILES_MATCHING PATTERN "*.hpp")
