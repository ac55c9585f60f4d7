# Helpers of the Wine tests, built beside the test programs in tests/notify:
#   notify_marker.exe  a small program that records where it was started
#   Quillbox.dll       a stand-in for the list library (ListShow)
if(NOT WIN32)
  return()
endif()
set(_out "${CMAKE_BINARY_DIR}/tests/notify")
add_executable(notify_marker WIN32 "${CMAKE_CURRENT_LIST_DIR}/helpers/marker.cpp")
add_library(notify_quillbox_double SHARED "${CMAKE_CURRENT_LIST_DIR}/helpers/quillbox_double.cpp")
set_target_properties(notify_quillbox_double PROPERTIES PREFIX "" OUTPUT_NAME Quillbox)
target_include_directories(notify_quillbox_double PRIVATE "${CMAKE_SOURCE_DIR}")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(notify_quillbox_double PRIVATE -Wl,--kill-at)
endif()
set_target_properties(notify_marker notify_quillbox_double PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY "${_out}" LIBRARY_OUTPUT_DIRECTORY "${_out}")
# The tray icon test carries the tray icons the program has, and one more
# icon to stand for an icon file of the user's choice.
if(TARGET notify_tray_icon_test)
  target_sources(notify_tray_icon_test PRIVATE "${CMAKE_CURRENT_LIST_DIR}/win32/tray_icon_test.rc")
  set_property(SOURCE "${CMAKE_CURRENT_LIST_DIR}/win32/tray_icon_test.rc" APPEND PROPERTY COMPILE_OPTIONS
    -c 65001 "-I${CMAKE_SOURCE_DIR}/resources/tidewell")
endif()
file(GLOB _notify_tests "${CMAKE_CURRENT_LIST_DIR}/win32/*_test.cpp")
foreach(_t ${_notify_tests})
  get_filename_component(_name "${_t}" NAME_WE)
  set_target_properties(notify_${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${_out}")
  add_dependencies(notify_${_name} notify_marker notify_quillbox_double)
endforeach()

# The compiled help file: an HTML Help file for a Japanese Windows (language
# 0x411) whose pages are the Shift_JIS ones.
if(TARGET TidewellHelp)
  add_test(NAME notify_help_file COMMAND python3 "${CMAKE_CURRENT_LIST_DIR}/helpers/check_chm.py" "${TIDEWELL_HELP_FILE}")
  set_tests_properties(notify_help_file PROPERTIES LABELS "notify")
endif()
