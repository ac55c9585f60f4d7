# End-to-end tests of Tidewell.exe under Wine (with Dovecot where a server is
# needed), and the helper that posts window messages to the program.
if(WIN32 AND TARGET Tidewell)
  add_executable(tray_helper "${CMAKE_CURRENT_LIST_DIR}/tray_helper.cpp")
  find_package(Python3 COMPONENTS Interpreter QUIET)
  set(_py python3)
  if(Python3_EXECUTABLE)
    set(_py "${Python3_EXECUTABLE}")
  endif()
  foreach(_case check_once check_error new_message single_instance quit_message)
    tidewell_add_wine_test(NAME tidewell_e2e_${_case} TIMEOUT 180
      SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/e2e.py" ${_case}
        --dist "${TIDEWELL_DIST_DIR}" --helper "$<TARGET_FILE:tray_helper>"
        --work "${CMAKE_BINARY_DIR}/tidewell_e2e" LABELS tidewell)
    set_tests_properties(tidewell_e2e_${_case} PROPERTIES SKIP_RETURN_CODE 77
      RESOURCE_LOCK tidewell_instance)
  endforeach()
endif()
