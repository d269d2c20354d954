# Common compile options for every target of the project.
# __FILE__ (assertion messages, GStreamer's log macros) names files relative
# to the source and build trees, so no installed binary carries the path of
# the tree it was built in.
add_compile_options("-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=" "-fmacro-prefix-map=${PROJECT_BINARY_DIR}/=")
add_library(qrn_options INTERFACE)
target_compile_options(qrn_options INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
if(QRN_WERROR)
  target_compile_options(qrn_options INTERFACE -Werror)
endif()
if(QRN_SANITIZE)
  string(REPLACE ";" "," _san "${QRN_SANITIZE}")
  target_compile_options(qrn_options INTERFACE -fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  # GCC's flow analysis gives false "may be used uninitialized" reports inside
  # the standard library (std::regex, std::function) in sanitizer builds.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(qrn_options INTERFACE -Wno-maybe-uninitialized)
  endif()
  target_link_options(qrn_options INTERFACE -fsanitize=${_san})
endif()

# qrn_add_library(name SOURCES file... [LINK lib...] [PRIVATE_LINK lib...]):
# a shared library of the project.
function(qrn_add_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LINK;PRIVATE_LINK" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  add_library(qrnacq::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${name} PUBLIC ${A_LINK} PRIVATE qrn_options ${A_PRIVATE_LINK})
  # In the build tree the libraries find their siblings beside themselves
  # ($ORIGIN: all are built into one directory), whatever the program that
  # loads them links directly.  Only that one entry: CMake's own build run
  # path could carry an empty entry, which would make dlopen() search the
  # current directory.
  # Hidden by default: what the headers under include/qrn declare is exported
  # (QRN_API_BEGIN/END, <qrn/foundation/api.h>), the rest stays inside.
  set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME ${name} INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
endfunction()

# qrn_install_rpath(target reldir): the installed `target` finds the project's
# libraries through $ORIGIN/<reldir>, unless they are installed in a directory
# the dynamic loader searches anyway (as a /usr install is): then no run path.
function(qrn_install_rpath target reldir)
  set(_dirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
  list(FIND _dirs "${CMAKE_INSTALL_FULL_LIBDIR}" _system)
  if(_system EQUAL -1)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${reldir}")
  endif()
endfunction()
