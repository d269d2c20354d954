# Debian packages with CPack's DEB generator, one package per install
# component:
#   runtime   -> libqrnacq0          shared libraries and driver plugins
#   dev       -> libqrnacq-dev       headers, CMake package, pkg-config
#   tools     -> qrnacq-tools        qacq and its man page
#   python    -> python3-qrnacq      the Python module, when it is built
#   gstreamer -> gstreamer1.0-qrnacq the GStreamer element, when it is built
#   gentl     -> qrnacq-gentl        the GenTL producer qrnacq.cti, when it is built
# A package exists only when its component has install rules, so a build
# without the Python module or GStreamer gives no empty package for them.
# `Depends` come from dpkg-shlibdeps (outside libraries) and from the
# component dependencies below (the packages of this project, with their
# exact version).  scripts/package.sh builds and runs this.

include(${CMAKE_CURRENT_LIST_DIR}/QrnManPage.cmake)

get_cmake_property(_qrn_all_components COMPONENTS)
set(_qrn_known_components runtime dev tools python gstreamer gentl)
set(_qrn_components)
foreach(c ${_qrn_known_components})
  if(c IN_LIST _qrn_all_components)
    list(APPEND _qrn_components ${c})
  endif()
endforeach()
foreach(c ${_qrn_all_components})
  if(NOT c IN_LIST _qrn_known_components)
    message(WARNING "install component '${c}' belongs to no Debian package (packaging/QrnCPack.cmake)")
  endif()
endforeach()

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqrnacq${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqrnacq-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qrnacq-tools)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-qrnacq)
set(CPACK_DEBIAN_GSTREAMER_PACKAGE_NAME gstreamer1.0-qrnacq)
set(CPACK_DEBIAN_GENTL_PACKAGE_NAME qrnacq-gentl)

# Each package carries the copyright file and a changelog in its own
# documentation directory, as Debian asks.
set(_qrn_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog ${_qrn_changelog} @ONLY)
find_program(QRN_GZIP gzip)
if(QRN_GZIP)
  execute_process(COMMAND ${QRN_GZIP} -9nf ${_qrn_changelog})
endif()
foreach(c ${_qrn_components})
  string(TOUPPER ${c} C)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${_qrn_changelog}.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${C}_PACKAGE_NAME} COMPONENT ${c})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL ${_qrn_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_PACKAGE_NAME qrnacq)
set(CPACK_PACKAGE_VENDOR "Quorin Acquisition developers")
set(CPACK_PACKAGE_CONTACT "Quorin Acquisition developers <qrnacq@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image acquisition for machine vision")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The packages' own libraries are looked up in the staging tree of the
# runtime package (they are not installed on the building machine); the
# dependency on that package comes from the component dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${PROJECT_BINARY_DIR}/packages/_CPack_Packages/Linux/DEB/qrnacq-${PROJECT_VERSION}-Linux/runtime${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries' symbols file (packaging/symbols.sh keeps it, scripts/package.sh
# checks it against the build), so that dependent packages get the version
# that introduced what they use.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers ${CMAKE_CURRENT_LIST_DIR}/symbols)

set(_qrn_long "Quorin Acquisition acquires images from frame grabbers and cameras for machine
vision: boards, video formats, acquisition FIFOs, properties such as exposure,
triggers, strobes, regions of interest and lookup tables, and per-acquisition
failures.  A simulated frame grabber and a GigE Vision / USB3 Vision camera
driver come with it.")

set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "image acquisition for machine vision - libraries
${_qrn_long}
.
This package holds the shared libraries and the board driver plugins.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)

set(CPACK_COMPONENT_DEV_DESCRIPTION "image acquisition for machine vision - development files
${_qrn_long}
.
This package holds the headers, the CMake package (find_package(qrnacq)) and
the pkg-config file.")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)

set(CPACK_COMPONENT_TOOLS_DESCRIPTION "image acquisition for machine vision - command-line tool
${_qrn_long}
.
This package holds qacq, which lists boards and formats, grabs images to
files or a camera database, shows them, and checks camera configuration files.")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION science)

set(CPACK_COMPONENT_PYTHON_DESCRIPTION "image acquisition for machine vision - Python 3 module
${_qrn_long}
.
This package holds the Python 3 module qrnacq; images arrive as NumPy arrays.")
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The interpreter the module was built for (its ABI is that minor version),
# and NumPy, which the module imports for its images.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3-numpy")
if("python" IN_LIST _qrn_components)
  find_package(Python3 COMPONENTS Interpreter QUIET)  # the one python/ found (cached)
endif()
if("python" IN_LIST _qrn_components AND Python3_EXECUTABLE)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sys; print('%d.%d %d.%d' % (sys.version_info[0], sys.version_info[1], sys.version_info[0], sys.version_info[1] + 1))"
    OUTPUT_VARIABLE _qrn_py OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(_qrn_py)
  list(GET _qrn_py 0 _qrn_py_this)
  list(GET _qrn_py 1 _qrn_py_next)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= ${_qrn_py_this}~), python3 (<< ${_qrn_py_next}), python3-numpy")
endif()

set(CPACK_COMPONENT_GSTREAMER_DESCRIPTION "image acquisition for machine vision - GStreamer element
${_qrn_long}
.
This package holds the GStreamer source element qrnacqsrc.")
set(CPACK_COMPONENT_GSTREAMER_DEPENDS runtime)
set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION video)

set(CPACK_COMPONENT_GENTL_DESCRIPTION "image acquisition for machine vision - GenTL producer
${_qrn_long}
.
This package holds the GenTL producer qrnacq.cti, which makes the simulated
frame grabber a device of any GenTL consumer (GENICAM_GENTL64_PATH).")
set(CPACK_COMPONENT_GENTL_DEPENDS runtime)
set(CPACK_DEBIAN_GENTL_PACKAGE_SECTION science)

include(CPack)
