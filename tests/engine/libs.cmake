# Native engine tests link the portable engine (which brings the settings code).
set(TEST_LIBS tidewell_engine)
