# The Wine tests load the real Quillbox.dll by name: it is copied beside the
# test programs together with Inkwell2.dll, which it loads from its own folder.
if(WIN32 AND TARGET Quillbox AND TARGET Inkwell2)
  set(_out "${CMAKE_BINARY_DIR}/tests/quillbox")
  file(GLOB _quillbox_tests "${CMAKE_CURRENT_LIST_DIR}/win32/*_test.cpp")
  foreach(_t ${_quillbox_tests})
    get_filename_component(_name "${_t}" NAME_WE)
    set_target_properties(quillbox_${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${_out}")
    add_dependencies(quillbox_${_name} Quillbox Inkwell2)
    add_custom_command(TARGET quillbox_${_name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Quillbox>" "$<TARGET_FILE:Inkwell2>" "${_out}/"
      VERBATIM)
  endforeach()
endif()
