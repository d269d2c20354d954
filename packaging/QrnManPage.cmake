# The man page of qacq, made from the program's own help by help2man so that
# it never drifts from the program: the main help, and one section per
# command from `qacq <command> --help`.  Installed (gzip-compressed) by the
# tools package.
if(NOT TARGET qacq)
  return()
endif()
find_program(QRN_HELP2MAN help2man)
if(NOT QRN_HELP2MAN)
  message(STATUS "help2man not found: the qacq man page is not built")
  return()
endif()
set(_qrn_man ${PROJECT_BINARY_DIR}/packaging/qacq.1)
add_custom_command(OUTPUT ${_qrn_man}.gz
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/qacq-man.sh $<TARGET_FILE:qacq> ${_qrn_man}
  DEPENDS qacq ${CMAKE_CURRENT_LIST_DIR}/qacq-man.sh
  COMMENT "Generating the qacq man page"
  VERBATIM)
add_custom_target(qacq-man ALL DEPENDS ${_qrn_man}.gz)
install(FILES ${_qrn_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
