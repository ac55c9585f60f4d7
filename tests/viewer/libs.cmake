# Native tests of the viewer's portable code, with the codec library's core
# standing in for Inkwell2.dll.
set(TEST_LIBS tidewell_viewer)
if(TARGET inkwell2_core)
  list(APPEND TEST_LIBS inkwell2_core)
endif()
