# Windows tree: the Wine test loads Inkwell2.dll by its plain name from its
# own folder, and the export table of both builds is checked with objdump.
if(NOT WIN32 OR NOT TARGET Inkwell2)
  return()
endif()
if(TARGET inkwell2_exports_test)
  add_dependencies(inkwell2_exports_test Inkwell2)
  add_custom_command(TARGET inkwell2_exports_test POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Inkwell2>" "$<TARGET_FILE_DIR:inkwell2_exports_test>/"
    VERBATIM)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 32-bit library comes from its own tree (tools/build.sh builds win32 first).
  set(TIDEWELL_I686_INKWELL "${CMAKE_SOURCE_DIR}/build/win32/dist/Inkwell2.dll"
      CACHE FILEPATH "The 32-bit Inkwell2.dll whose exports are checked")
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_test(NAME inkwell2_export_table
    COMMAND ${Python3_EXECUTABLE} "${CMAKE_CURRENT_LIST_DIR}/check_exports.py"
      x86_64-w64-mingw32-objdump "$<TARGET_FILE:Inkwell2>"
      i686-w64-mingw32-objdump "${TIDEWELL_I686_INKWELL}")
  set_tests_properties(inkwell2_export_table PROPERTIES LABELS "inkwell2" TIMEOUT 60)
endif()
