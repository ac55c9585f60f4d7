# Native tests of the viewer's portable code, with the codec library's core
# standing in for Inkwell2.dll; the Wine tests link the message window.
set(TEST_LIBS tidewell_viewer)
if(TARGET inkwell2_core)
  list(APPEND TEST_LIBS inkwell2_core)
endif()
if(TARGET tidewell_viewer_win32)
  set(WIN32_TEST_LIBS tidewell_viewer_win32)
endif()
