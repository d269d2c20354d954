# Installation: headers, libraries, the CMake package and pkg-config file.
# Every rule names its component, which is also its Debian package
# (packaging/QrnCPack.cmake): runtime -> libqrnacq0 (libraries and driver
# plugins), dev -> libqrnacq-dev (headers, the unversioned .so links, the
# CMake package, pkg-config), tools -> qrnacq-tools (qacq and its man page).
include(CMakePackageConfigHelpers)

set(_qrn_targets)
foreach(t qrnstd qrnacq qrtcdb)
  if(TARGET ${t})
    list(APPEND _qrn_targets ${t})
  endif()
endforeach()
get_property(_drv GLOBAL PROPERTY QRN_DRIVER_TARGETS)

install(TARGETS ${_qrn_targets} EXPORT qrnacqTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(_drv)
  install(TARGETS ${_drv} EXPORT qrnacqTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/qrnacq/drivers COMPONENT runtime)
endif()
set(_qrn_header_excludes)
foreach(h ${QRN_INTERNAL_HEADERS})
  get_filename_component(_n ${h} NAME)
  list(APPEND _qrn_header_excludes PATTERN ${_n} EXCLUDE)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/qrn DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
  ${_qrn_header_excludes})
install(EXPORT qrnacqTargets NAMESPACE qrnacq:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qrnacq COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/qrnacqConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qrnacqConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qrnacq)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qrnacqConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qrnacqConfig.cmake ${PROJECT_BINARY_DIR}/qrnacqConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qrnacq COMPONENT dev)

set(QRN_PC_LIBS "")
foreach(t ${_qrn_targets})
  string(APPEND QRN_PC_LIBS " -l${t}")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/qrnacq.pc.in ${PROJECT_BINARY_DIR}/qrnacq.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qrnacq.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Debian packages (CPack), after every install rule above and in the
# subdirectories.
include(${PROJECT_SOURCE_DIR}/packaging/QrnCPack.cmake)
