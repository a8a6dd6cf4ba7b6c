# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged files before they are packed. The
# binaries are already stripped of their symbols (CPACK_STRIP_FILES); this also removes the
# .comment and .note sections, which hold only the compiler's version strings, as Debian's
# own packaging tools do.
file(GLOB binaries LIST_DIRECTORIES false
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT binaries)
  message(FATAL_ERROR "no binaries staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(binary IN LISTS binaries)
  execute_process(
    COMMAND ${CPACK_KIVREL_STRIP} --remove-section=.comment --remove-section=.note ${binary}
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CPACK_KIVREL_STRIP} failed on ${binary}")
  endif()
endforeach()
