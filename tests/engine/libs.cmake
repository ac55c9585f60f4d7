# Native engine tests link the portable engine (which brings the settings code).
set(TEST_LIBS tidewell_engine)
# The session tests take real MD5 digests from the codec library's core.
if(TARGET inkwell2_core)
  list(APPEND TEST_LIBS inkwell2_core)
endif()
