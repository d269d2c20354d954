cmake_minimum_required(VERSION 3.25)
# cmake -DSOURCE_DIR=... -P check_sources.cmake
# The build names its sources one by one; a source file that no
# CMakeLists.txt of its directory or above names would be silently left out.
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)
set(_missing)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.c ${SOURCE_DIR}/drivers/*.cpp ${SOURCE_DIR}/tools/*.cpp
  ${SOURCE_DIR}/examples/*.cpp ${SOURCE_DIR}/fuzz/*.cpp ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/python/*.cpp
  ${SOURCE_DIR}/gst/*.cpp ${SOURCE_DIR}/gentl/*.cpp ${SOURCE_DIR}/gentl/*.c ${SOURCE_DIR}/tests/*.cpp
  ${SOURCE_DIR}/packaging/*.cpp)
if(NOT sources)
  message(FATAL_ERROR "no source under ${SOURCE_DIR}")
endif()
foreach(f ${sources})
  get_filename_component(dir ${f} DIRECTORY)
  get_filename_component(name ${f} NAME)
  get_filename_component(stem ${f} NAME_WE)
  set(found OFF)
  while(NOT found)
    if(EXISTS ${SOURCE_DIR}/${dir}/CMakeLists.txt)
      file(READ ${SOURCE_DIR}/${dir}/CMakeLists.txt text)
      # By file name, or by stem where a list of names makes <stem>.cpp.
      string(REGEX MATCH "(^|[ \t\n(/])(${name}|${stem})([ \t\n)]|$)" hit "${text}")
      if(hit)
        set(found ON)
      endif()
    endif()
    if(dir STREQUAL "")
      break()
    endif()
    get_filename_component(dir ${dir} DIRECTORY)
  endwhile()
  if(NOT found)
    list(APPEND _missing ${f})
  endif()
endforeach()
if(_missing)
  list(JOIN _missing "\n  " msg)
  message(FATAL_ERROR "source files that no CMakeLists.txt names (list them, or remove them):\n  ${msg}")
endif()
