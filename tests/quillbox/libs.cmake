# Native tests of the list's portable code with the codec library's core.
set(TEST_LIBS tidewell_quillbox)
if(TARGET inkwell2_core)
  list(APPEND TEST_LIBS inkwell2_core)
endif()
# Windows tests: the Inkwell2.dll calls for the account mail file names.
set(WIN32_TEST_LIBS tidewell_common_win32 comctl32)
