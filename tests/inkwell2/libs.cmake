set(TEST_LIBS inkwell2_core)
# The Windows test binds Inkwell2.dll at run time, as the other deliverables do.
set(WIN32_TEST_LIBS "")
