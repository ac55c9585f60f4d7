# The Wine tests and the screenshot host load the real Quillbox.dll by name:
# it is copied beside them together with Inkwell2.dll, which it loads from its
# own folder. The copy runs at every build, so they never see a stale library.
if(WIN32 AND TARGET Quillbox AND TARGET Inkwell2)
  set(_out "${CMAKE_BINARY_DIR}/tests/quillbox")
  add_custom_target(quillbox_test_libraries ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory "${_out}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:Quillbox>" "$<TARGET_FILE:Inkwell2>" "${_out}/"
    DEPENDS Quillbox Inkwell2 VERBATIM)
  file(GLOB _quillbox_tests "${CMAKE_CURRENT_LIST_DIR}/win32/*_test.cpp")
  foreach(_t ${_quillbox_tests})
    get_filename_component(_name "${_t}" NAME_WE)
    set_target_properties(quillbox_${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${_out}")
    add_dependencies(quillbox_${_name} quillbox_test_libraries)
  endforeach()

  # The screenshot host (tools/screenshots.d/20-list): opens the list in its
  # own process over a data folder.
  add_executable(quillbox_list_shot "${CMAKE_CURRENT_LIST_DIR}/helpers/list_shot.cpp")
  target_link_libraries(quillbox_list_shot PRIVATE comctl32)
  set_target_properties(quillbox_list_shot PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${_out}")
  add_dependencies(quillbox_list_shot quillbox_test_libraries)

  # Column widths at 144 DPI through the host (changes the prefix's DPI, so alone).
  tidewell_add_wine_test(NAME quillbox_list_dpi_test LABELS quillbox TIMEOUT 300
    SCRIPT bash "${CMAKE_CURRENT_LIST_DIR}/win32/list_dpi_test.sh" "${CMAKE_SOURCE_DIR}" "${CMAKE_BINARY_DIR}")
  set_tests_properties(quillbox_list_dpi_test PROPERTIES RUN_SERIAL TRUE)
endif()
