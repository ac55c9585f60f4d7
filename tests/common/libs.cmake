set(TEST_LIBS tidewell_common)
set(WIN32_TEST_LIBS tidewell_common_win32)
