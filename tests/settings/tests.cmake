# Native: tell the tests whether the codec core is linked.
if(NOT WIN32 AND TARGET inkwell2_core)
  foreach(_t settings_account_file_test settings_account_page_test)
    if(TARGET ${_t})
      target_compile_definitions(${_t} PRIVATE TIDEWELL_HAVE_INKWELL2=1)
    endif()
  endforeach()
endif()

if(WIN32)
  # The account store test loads the real Inkwell2.dll from beside its exe.
  if(TARGET settings_account_store_test AND TARGET Inkwell2)
    add_custom_command(TARGET settings_account_store_test POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Inkwell2>" "$<TARGET_FILE_DIR:settings_account_store_test>/"
      VERBATIM)
    add_dependencies(settings_account_store_test Inkwell2)
    target_compile_definitions(settings_account_store_test PRIVATE TIDEWELL_HAVE_INKWELL2_DLL=1)
  endif()
  # The missing-library test runs from a folder of its own, without the DLL;
  # a stranger's Inkwell2.dll waits in planted\ for it to plant elsewhere.
  if(TARGET settings_no_codec_test)
    set_target_properties(settings_no_codec_test PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/settings_no_codec")
    if(COMMAND tidewell_copy_planted_inkwell)
      tidewell_copy_planted_inkwell(settings_no_codec_test)
      target_compile_definitions(settings_no_codec_test PRIVATE TIDEWELL_HAVE_PLANTED_INKWELL=1)
    endif()
  endif()
endif()

# The settings sheet test shows the program's dialogs: it carries their
# resources, and Inkwell2.dll for the digests of released account names.
if(WIN32 AND TARGET settings_settings_sheet_test)
  set(_res "${CMAKE_SOURCE_DIR}/resources/tidewell")
  target_sources(settings_settings_sheet_test PRIVATE "${_res}/settings.rc" "${_res}/Tidewell.rc")
  set_property(SOURCE "${_res}/settings.rc" "${_res}/Tidewell.rc" APPEND PROPERTY COMPILE_OPTIONS -c 65001)
  target_include_directories(settings_settings_sheet_test PRIVATE "${_res}")
  if(TARGET Inkwell2)
    add_custom_command(TARGET settings_settings_sheet_test POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Inkwell2>" "$<TARGET_FILE_DIR:settings_settings_sheet_test>/"
      VERBATIM)
    add_dependencies(settings_settings_sheet_test Inkwell2)
    target_compile_definitions(settings_settings_sheet_test PRIVATE TIDEWELL_HAVE_INKWELL2_DLL=1)
  endif()
endif()

# hold_file.exe beside the settings sheet test: another process that holds
# Account.dat open without sharing.
if(WIN32 AND TARGET settings_settings_sheet_test)
  add_executable(settings_hold_file "${CMAKE_CURRENT_LIST_DIR}/helpers/hold_file.cpp")
  set_target_properties(settings_hold_file PROPERTIES OUTPUT_NAME hold_file)
  add_custom_command(TARGET settings_settings_sheet_test POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:settings_hold_file>" "$<TARGET_FILE_DIR:settings_settings_sheet_test>/"
    VERBATIM)
  add_dependencies(settings_settings_sheet_test settings_hold_file)
endif()
