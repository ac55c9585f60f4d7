# A stranger's Inkwell2.dll (helpers/planted_inkwell.cpp) for the tests that
# plant one in a current folder: tidewell_copy_planted_inkwell(target) puts
# it into <target's folder>\planted\Inkwell2.dll after every build of target.
if(NOT WIN32)
  return()
endif()
add_library(planted_inkwell SHARED "${CMAKE_CURRENT_LIST_DIR}/helpers/planted_inkwell.cpp")
set_target_properties(planted_inkwell PROPERTIES OUTPUT_NAME Inkwell2 PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/planted")
function(tidewell_copy_planted_inkwell target)
  add_dependencies(${target} planted_inkwell)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "$<TARGET_FILE_DIR:${target}>/planted"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:planted_inkwell>" "$<TARGET_FILE_DIR:${target}>/planted/"
    VERBATIM)
endfunction()
