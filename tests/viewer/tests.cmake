# Windows tree: the Wine tests find Peekglass.exe, Inkwell2.dll, the helpers
# and the fixture messages (tests/viewer/mail) beside themselves.
if(NOT WIN32 OR NOT TARGET Peekglass OR NOT TARGET Inkwell2)
  return()
endif()
set(_out "${CMAKE_BINARY_DIR}/tests/viewer")
set(_host_rc "${CMAKE_CURRENT_LIST_DIR}/helpers/viewer_host.rc")
add_executable(viewer_host "${CMAKE_CURRENT_LIST_DIR}/helpers/viewer_host.cpp" "${_host_rc}")
set_property(SOURCE "${_host_rc}" APPEND PROPERTY COMPILE_OPTIONS -c 65001)
target_include_directories(viewer_host PRIVATE "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/resources/tidewell")
tidewell_use_message_window(viewer_host IN_OWN_RC)
add_executable(viewer_poke "${CMAKE_CURRENT_LIST_DIR}/helpers/viewer_poke.cpp")
set_target_properties(viewer_host viewer_poke PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${_out}")
add_custom_command(TARGET viewer_host POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Inkwell2>" "$<TARGET_FILE:Peekglass>" "${_out}/"
  COMMAND ${CMAKE_COMMAND} -E copy_directory "${CMAKE_CURRENT_LIST_DIR}/mail" "${_out}/mail"
  VERBATIM)
add_dependencies(viewer_host Peekglass Inkwell2)
file(GLOB _viewer_tests "${CMAKE_CURRENT_LIST_DIR}/win32/*_test.cpp")
foreach(_t ${_viewer_tests})
  get_filename_component(_name "${_t}" NAME_WE)
  set_target_properties(viewer_${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${_out}")
  tidewell_use_message_window(viewer_${_name})
  add_dependencies(viewer_${_name} viewer_host viewer_poke)
endforeach()
# A stranger's Inkwell2.dll for the viewer's library test.
if(TARGET viewer_peekglass_paths_test AND COMMAND tidewell_copy_planted_inkwell)
  tidewell_copy_planted_inkwell(viewer_peekglass_paths_test)
endif()
