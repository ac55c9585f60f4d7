# The deliverables in dist/ read back from their files (version resources,
# manifests, stripped), and the installer and zip under Wine.
if(NOT WIN32 OR NOT TARGET Tidewell OR NOT TARGET Peekglass OR NOT TARGET Quillbox OR NOT TARGET Inkwell2)
  return()
endif()
find_package(Python3 COMPONENTS Interpreter QUIET)
set(_py python3)
if(Python3_EXECUTABLE)
  set(_py "${Python3_EXECUTABLE}")
endif()
add_test(NAME release_files COMMAND "${_py}" "${CMAKE_CURRENT_LIST_DIR}/release_files_test.py"
  --dist "${TIDEWELL_DIST_DIR}" --version "${PROJECT_VERSION}")
set_tests_properties(release_files PROPERTIES TIMEOUT 60 LABELS release)

# tray_helper comes from tests/tidewell (configured after this folder).
if(TIDEWELL_MAKENSIS AND TARGET TidewellPackages)
  tidewell_add_wine_test(NAME release_installer TIMEOUT 400
    SCRIPT "${_py}" "${CMAKE_CURRENT_LIST_DIR}/installer_e2e.py" --setup "${TIDEWELL_SETUP}" --zip "${TIDEWELL_ZIP}"
      --version "${PROJECT_VERSION}" --work "${CMAKE_BINARY_DIR}/release_installer"
      --helper "$<TARGET_FILE:tray_helper>" LABELS release)
  # The installed program is one more instance of the tray program.
  set_tests_properties(release_installer PROPERTIES RESOURCE_LOCK tidewell_instance RUN_SERIAL TRUE)
endif()
