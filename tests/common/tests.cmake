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

# The WinHTTP POST against small HTTPS servers made at test time
# (https_post_e2e.py starts them and runs the Windows test with their ports).
add_executable(common_https_post_test "${CMAKE_CURRENT_LIST_DIR}/win32/https/https_post_test.cpp")
target_link_libraries(common_https_post_test PRIVATE tidewell_common_win32 GTest::gtest_main)
target_include_directories(common_https_post_test PRIVATE "${CMAKE_SOURCE_DIR}")
find_package(Python3 COMPONENTS Interpreter QUIET)
set(_https_py python3)
if(Python3_EXECUTABLE)
  set(_https_py "${Python3_EXECUTABLE}")
endif()
tidewell_add_wine_test(NAME common_https_post TIMEOUT 600
  SCRIPT "${_https_py}" "${CMAKE_CURRENT_LIST_DIR}/https_post_e2e.py"
    --test "$<TARGET_FILE:common_https_post_test>" --work "${CMAKE_BINARY_DIR}/common_https_post" LABELS common)
# The test CA sits in the one prefix while it runs.
set_tests_properties(common_https_post PROPERTIES SKIP_RETURN_CODE 77 RESOURCE_LOCK tidewell_instance)
