# Helpers shared by every folder's CMakeLists.txt.

# TIDEWELL_ONLY (a list such as "inkwell2;settings") limits a build to some
# subsystems: a folder is taken when its last path component is in the list.
# Empty means everything.
set(TIDEWELL_ONLY "" CACHE STRING "Subsystems to build (empty: all)")

function(tidewell_wanted dir out)
  get_filename_component(_leaf "${dir}" NAME)
  if(NOT TIDEWELL_ONLY OR _leaf IN_LIST TIDEWELL_ONLY)
    set(${out} ON PARENT_SCOPE)
  else()
    set(${out} OFF PARENT_SCOPE)
  endif()
endfunction()

# add_subdirectory for each folder that has a CMakeLists.txt.
macro(tidewell_add_subdirs)
  foreach(_dir ${ARGN})
    if(EXISTS "${CMAKE_SOURCE_DIR}/${_dir}/CMakeLists.txt")
      add_subdirectory("${CMAKE_SOURCE_DIR}/${_dir}" "${CMAKE_BINARY_DIR}/${_dir}")
    endif()
  endforeach()
endmacro()

# GoogleTest: the system package natively; built from Debian's sources
# (/usr/src/googletest) for the MinGW cross build.
macro(tidewell_setup_gtest)
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endmacro()

# Copy a Windows deliverable to dist/ after each build.
function(tidewell_deliver target)
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    target_link_options(${target} PRIVATE -s)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${TIDEWELL_DIST_DIR}"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${target}>" "${TIDEWELL_DIST_DIR}/"
    VERBATIM)
endfunction()

# A GoogleTest executable.
#   native:  run directly by ctest
#   Windows: cross-built and run under Wine (Xvfb + prefix set up by the
#            wine fixture, see tools/wine-env.sh)
# tidewell_add_gtest(NAME n SOURCES a.cpp ... [LIBS l ...] [LABELS x ...] [TIMEOUT s])
function(tidewell_add_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    TIDEWELL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TIDEWELL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(WIN32)
    tidewell_add_wine_test(NAME ${T_NAME} COMMAND $<TARGET_FILE:${T_NAME}> TIMEOUT ${T_TIMEOUT} LABELS ${T_LABELS})
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "native;${T_LABELS}")
  endif()
endfunction()

# A test that runs a command under Wine inside the shared Xvfb/prefix fixture.
# COMMAND's first word is a Windows executable; for a script that calls wine
# itself pass SCRIPT instead (it gets the Wine environment in its env).
# tidewell_add_wine_test(NAME n COMMAND exe args... | SCRIPT cmd args...)
function(tidewell_add_wine_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;SCRIPT;LABELS;FIXTURES" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_SCRIPT)
    add_test(NAME ${T_NAME} COMMAND "${CMAKE_SOURCE_DIR}/tools/wine-env.sh" exec "${CMAKE_BINARY_DIR}" ${T_SCRIPT})
  else()
    add_test(NAME ${T_NAME} COMMAND "${CMAKE_SOURCE_DIR}/tools/wine-env.sh" run "${CMAKE_BINARY_DIR}" ${T_COMMAND})
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    FIXTURES_REQUIRED "wine;${T_FIXTURES}" LABELS "wine;${T_LABELS}")
  tidewell_wine_fixture()
endfunction()

# The Xvfb + WINEPREFIX fixture: set up once per ctest run, torn down at the end
# even when tests fail.
function(tidewell_wine_fixture)
  get_property(_done GLOBAL PROPERTY TIDEWELL_WINE_FIXTURE)
  if(_done)
    return()
  endif()
  set_property(GLOBAL PROPERTY TIDEWELL_WINE_FIXTURE ON)
  add_test(NAME wine_setup COMMAND "${CMAKE_SOURCE_DIR}/tools/wine-env.sh" start "${CMAKE_BINARY_DIR}")
  add_test(NAME wine_teardown COMMAND "${CMAKE_SOURCE_DIR}/tools/wine-env.sh" stop "${CMAKE_BINARY_DIR}")
  set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 180 LABELS wine)
  set_tests_properties(wine_teardown PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS wine)
endfunction()

# The version resource (VERSIONINFO: product, file version, Japanese
# description) of a deliverable, from the one version number of project();
# MANIFEST also links the application manifest (resources/release/app.manifest).
# tidewell_version_resource(target FILE name DESCRIPTION text [MANIFEST] [DLL])
function(tidewell_version_resource target)
  cmake_parse_arguments(V "MANIFEST;DLL" "FILE;DESCRIPTION" "" ${ARGN})
  set(TW_FILE "${V_FILE}")
  get_filename_component(TW_NAME "${V_FILE}" NAME_WE)
  set(TW_DESCRIPTION "${V_DESCRIPTION}")
  if(V_DLL)
    set(TW_FILETYPE VFT_DLL)
  else()
    set(TW_FILETYPE VFT_APP)
  endif()
  set(TW_MANIFEST_LINE "")
  if(V_MANIFEST)
    # 1 = CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 = RT_MANIFEST
    set(TW_MANIFEST_LINE "1 24 \"${CMAKE_SOURCE_DIR}/resources/release/app.manifest\"")
  endif()
  set(_rc "${CMAKE_BINARY_DIR}/generated/${TW_NAME}_version.rc")
  configure_file("${CMAKE_SOURCE_DIR}/resources/release/version.rc.in" "${_rc}" @ONLY)
  target_sources(${target} PRIVATE "${_rc}")
  set_property(SOURCE "${_rc}" APPEND PROPERTY COMPILE_OPTIONS -c 65001)
  if(V_MANIFEST)
    set_property(SOURCE "${_rc}" APPEND PROPERTY OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/release/app.manifest")
  endif()
endfunction()

# The generated header with the version number (TIDEWELL_VERSION_TEXT).
function(tidewell_version_header target)
  set(_h "${CMAKE_BINARY_DIR}/generated/tidewell_version.h")
  configure_file("${CMAKE_SOURCE_DIR}/resources/release/version.h.in" "${_h}" @ONLY)
  target_include_directories(${target} PRIVATE "${CMAKE_BINARY_DIR}/generated")
endfunction()
