# The test servers themselves, run natively by Python: the authorization
# server of the OAuth tests, and Dovecot checking its tokens.
if(NOT WIN32)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  if(Python3_EXECUTABLE)
    add_test(NAME servers_oauth_dovecot COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_LIST_DIR}/oauth_dovecot_test.py")
    set_tests_properties(servers_oauth_dovecot PROPERTIES LABELS "native;servers" TIMEOUT 180 SKIP_RETURN_CODE 77)
  endif()
endif()
