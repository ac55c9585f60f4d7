# Native tests: the portable settings code, and the codec core for the codec
# calls (Base64 op 11, MD5) and the cross-check with its account reader.
set(TEST_LIBS tidewell_settings)
if(TARGET inkwell2_core)
  list(APPEND TEST_LIBS inkwell2_core)
endif()
# Windows tests: the real profile functions and Inkwell2.dll calls.
set(WIN32_TEST_LIBS tidewell_settings_win32 tidewell_settings)
