# End-to-end tests of Tidewell.exe under Wine (with Dovecot where a server is
# needed), and the helper that posts window messages to the program and looks
# at its windows and modules.
if(WIN32 AND TARGET Tidewell)
  add_executable(tray_helper "${CMAKE_CURRENT_LIST_DIR}/tray_helper.cpp")
  target_link_libraries(tray_helper PRIVATE psapi)
  # Opens a URL through the shell, as the sign-in does (the test browser case).
  add_executable(open_url "${CMAKE_CURRENT_LIST_DIR}/open_url.cpp")
  target_link_libraries(open_url PRIVATE shell32)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  set(_py python3)
  if(Python3_EXECUTABLE)
    set(_py "${Python3_EXECUTABLE}")
  endif()
  # The marker program and the stand-in list library of tests/notify, for the
  # notification cases (they skip without them).
  set(_helpers "")
  if(TARGET notify_marker AND TARGET notify_quillbox_double)
    set(_helpers --marker "$<TARGET_FILE:notify_marker>" --quillbox "$<TARGET_FILE:notify_quillbox_double>")
  endif()
  # The list view test of tests/quillbox reads the rows of a real check.
  if(TARGET quillbox_list_window_test)
    list(APPEND _helpers --list-test "$<TARGET_FILE:quillbox_list_window_test>")
  endif()
  # The list session test of tests/quillbox drives the list over a real check.
  if(TARGET quillbox_list_session_test)
    list(APPEND _helpers --session-test "$<TARGET_FILE:quillbox_list_session_test>")
  endif()
  foreach(_case check_once check_error password_unreadable new_message single_instance quit_message summary_file seen_count
                exec_duplicate except_program mail_cleanup sound list_library popup_menu
                hostile_server uidl_flood close_message exit_during_check disconnect_during_check unresolvable_host
                two_exits tray_icon quit_hang_up list_window list_session list_delete_recognition
                list_closed_during_delete settings_sheet balloon)
    tidewell_add_wine_test(NAME tidewell_e2e_${_case} TIMEOUT 180
      SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/e2e.py" ${_case}
        --dist "${TIDEWELL_DIST_DIR}" --helper "$<TARGET_FILE:tray_helper>"
        --work "${CMAKE_BINARY_DIR}/tidewell_e2e" ${_helpers} LABELS tidewell)
    # One at a time: the program's named event allows one instance per session.
    set_tests_properties(tidewell_e2e_${_case} PROPERTIES SKIP_RETURN_CODE 77
      RESOURCE_LOCK tidewell_instance RUN_SERIAL TRUE)
  endforeach()
  # The fast check against the one-by-one sequence: the same files.
  foreach(_case dovecot scripted)
    tidewell_add_wine_test(NAME tidewell_fast_check_${_case} TIMEOUT 300
      SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/fast_check_e2e.py" ${_case}
        --dist "${TIDEWELL_DIST_DIR}" --helper "$<TARGET_FILE:tray_helper>"
        --work "${CMAKE_BINARY_DIR}/tidewell_e2e" LABELS tidewell)
    set_tests_properties(tidewell_fast_check_${_case} PROPERTIES SKIP_RETURN_CODE 77
      RESOURCE_LOCK tidewell_instance RUN_SERIAL TRUE)
  endforeach()
endif()

# POP3 over TLS against Dovecot with a test CA trusted in the test prefix.
if(WIN32 AND TARGET Tidewell)
  set(_tls_helpers "")
  if(TARGET quillbox_list_session_test)
    set(_tls_helpers --session-test "$<TARGET_FILE:quillbox_list_session_test>")
  endif()
  foreach(_case connect stls bad_name untrusted expired stls_refused stls_inject list list_bad_cert
                client_cert renegotiate)
    tidewell_add_wine_test(NAME tidewell_tls_${_case} TIMEOUT 180
      SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/tls_e2e.py" ${_case}
        --dist "${TIDEWELL_DIST_DIR}" --helper "$<TARGET_FILE:tray_helper>"
        --work "${CMAKE_BINARY_DIR}/tidewell_e2e" ${_tls_helpers} LABELS tidewell)
    # One at a time: one instance per session, and the test CA in the one prefix.
    set_tests_properties(tidewell_tls_${_case} PROPERTIES SKIP_RETURN_CODE 77
      RESOURCE_LOCK tidewell_instance RUN_SERIAL TRUE)
  endforeach()
endif()

# The account dialog's connection test against Dovecot, clear, secured and
# with an OAuth account.
if(WIN32 AND TARGET Tidewell)
  foreach(_case clear secure oauth)
    tidewell_add_wine_test(NAME tidewell_connection_test_${_case} TIMEOUT 300
      SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/connection_test_e2e.py" ${_case}
        --dist "${TIDEWELL_DIST_DIR}" --helper "$<TARGET_FILE:tray_helper>"
        --work "${CMAKE_BINARY_DIR}/tidewell_e2e" LABELS tidewell)
    set_tests_properties(tidewell_connection_test_${_case} PROPERTIES SKIP_RETURN_CODE 77
      RESOURCE_LOCK tidewell_instance RUN_SERIAL TRUE)
  endforeach()
endif()

# OAuth 2.0 sign-in: a test authorization server (HTTPS with the test CA),
# Dovecot checking the tokens at its introspection endpoint, the test browser.
if(WIN32 AND TARGET Tidewell)
  set(_oauth_helpers --open-url "$<TARGET_FILE:open_url>")
  if(TARGET quillbox_list_session_test)
    list(APPEND _oauth_helpers --session-test "$<TARGET_FILE:quillbox_list_session_test>")
  endif()
  foreach(_case browser check short_lived revoked_access revoked_refresh not_secured token_failures list signin)
    tidewell_add_wine_test(NAME tidewell_oauth_${_case} TIMEOUT 240
      SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/oauth_e2e.py" ${_case}
        --dist "${TIDEWELL_DIST_DIR}" --helper "$<TARGET_FILE:tray_helper>"
        --work "${CMAKE_BINARY_DIR}/tidewell_e2e" ${_oauth_helpers} LABELS tidewell)
    # One at a time: one instance per session, the test CA and the browser
    # list in the one prefix.
    set_tests_properties(tidewell_oauth_${_case} PROPERTIES SKIP_RETURN_CODE 77
      RESOURCE_LOCK tidewell_instance RUN_SERIAL TRUE)
  endforeach()
endif()
