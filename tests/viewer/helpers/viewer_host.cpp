// Test and screenshot host for the list library's side of message display:
//   viewer_host.exe MODE DATA_FOLDER CACHE_FILE
// calls DisplayMessage as the list does (its own module holds the message
// window's resources, its own folder stands for the list library's folder).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "viewer/win32/display_message.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string folder(self);
  folder.resize(folder.find_last_of('\\'));
  tidewell::DisplayRequest request;
  request.mode = std::atoi(argv[1]);
  request.data_folder = argv[2];
  request.cache_path = argv[3];
  request.library_folder = folder;
  request.resources = GetModuleHandleA(nullptr);
  return static_cast<int>(tidewell::DisplayMessage(request));
}
