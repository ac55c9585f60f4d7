# The shell tools, run natively by Python.
if(NOT WIN32)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  if(Python3_EXECUTABLE)
    add_test(NAME tools_account_dat COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_LIST_DIR}/account_dat_test.py")
    set_tests_properties(tools_account_dat PROPERTIES LABELS tools)
  endif()
endif()
