# The notification modules of the tray program, for the Wine tests: the Win32
# files of tidewell/engine/win32 that these tests exercise, as one library
# (the program itself compiles them into Tidewell.exe).
if(WIN32 AND NOT TARGET tidewell_notify_win32)
  set(_w "${CMAKE_SOURCE_DIR}/tidewell/engine/win32")
  add_library(tidewell_notify_win32 STATIC
    ${_w}/process_list.cpp ${_w}/sound_player.cpp ${_w}/program_launcher.cpp ${_w}/account_icons.cpp
    ${_w}/module_folder.cpp ${_w}/help_file.cpp ${_w}/version_dialog.cpp ${_w}/list_library.cpp
    ${_w}/mail_folder.cpp ${_w}/notify_host.cpp ${_w}/notify_codec.cpp ${_w}/tray_icon.cpp ${_w}/session_driver.cpp
    ${_w}/tray_balloon.cpp)
  target_include_directories(tidewell_notify_win32 PUBLIC "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/resources/tidewell")
  tidewell_version_header(tidewell_notify_win32)
  target_link_libraries(tidewell_notify_win32 PUBLIC tidewell_engine tidewell_settings_win32 shell32 winmm user32 ws2_32)
endif()
set(WIN32_TEST_LIBS tidewell_notify_win32)
