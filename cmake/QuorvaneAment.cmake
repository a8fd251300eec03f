# Registration with ament: the ament index entry, package.xml and environment
# hooks under share/, so that a colcon workspace, `ros2 pkg prefix` and other
# ament packages find this one. It happens whenever ament_cmake can be used;
# a plain CMake build without it is left as it is.
#
# ament_cmake runs its helpers with the Python 3 interpreter CMake finds, and
# they import catkin_pkg and ament_package. With Debian's ament_cmake those
# modules belong to /usr/bin/python3, while the python3 first on PATH may be
# another installation without them. So this file, included before anything
# looks for Python, picks an interpreter that has them (unless the caller
# chose one with -DPython3_EXECUTABLE); quorvane_register_with_ament(), called
# at the end of the top-level CMakeLists.txt, then runs ament_package().

option(QUORVANE_AMENT "Register the package with ament when ament_cmake can be used" ON)

function(_quorvane_python_has_ament python result)
  execute_process(COMMAND "${python}" -c "import ament_package, catkin_pkg"
    RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
  if(_rc EQUAL 0)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(QUORVANE_AMENT_PYTHON "")
if(QUORVANE_AMENT)
  if(Python3_EXECUTABLE)
    set(_candidates "${Python3_EXECUTABLE}")
  else()
    find_program(QUORVANE_PATH_PYTHON3 NAMES python3)
    set(_candidates ${QUORVANE_PATH_PYTHON3} /usr/bin/python3)
  endif()
  foreach(_python IN LISTS _candidates)
    if(EXISTS "${_python}")
      _quorvane_python_has_ament("${_python}" _ok)
      if(_ok)
        set(QUORVANE_AMENT_PYTHON "${_python}")
        break()
      endif()
    endif()
  endforeach()
  if(QUORVANE_AMENT_PYTHON AND NOT Python3_EXECUTABLE)
    set(Python3_EXECUTABLE "${QUORVANE_AMENT_PYTHON}" CACHE FILEPATH
      "Python 3 interpreter (one with ament_package and catkin_pkg, for ament_cmake)")
  endif()
endif()

# Runs ament_package() when ament_cmake is installed and a Python with its
# modules was found; otherwise says why the package is not registered.
macro(quorvane_register_with_ament)
  if(QUORVANE_AMENT AND QUORVANE_AMENT_PYTHON)
    find_package(ament_cmake QUIET)
    if(ament_cmake_FOUND)
      ament_package()
      message(STATUS "ament: the package registers in the ament index (Python ${QUORVANE_AMENT_PYTHON})")
    else()
      message(STATUS "ament: ament_cmake not found, the package is not registered in an ament index")
    endif()
  elseif(QUORVANE_AMENT)
    message(STATUS "ament: no Python 3 with ament_package and catkin_pkg (Debian: "
      "python3-ament-package python3-catkin-pkg), the package is not registered")
  endif()
endmacro()
