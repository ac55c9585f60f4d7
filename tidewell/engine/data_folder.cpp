#include "tidewell/engine/data_folder.h"

#include "common/sjis.h"

namespace tidewell {

std::string DataFolderFromCurrentDirectory(std::string dir) {
  // Only a backslash of its own: the second byte of a two-byte character
  // ending the folder name ("表" is 0x95 0x5C) stays.
  if (dir.size() != 3 && EndsWithBackslash(dir)) dir.pop_back();
  return dir;
}

bool IsDataFolderAccepted(const std::string& folder) { return folder.size() + 40 <= 260; }

std::string DataFolderTooLongMessage() {
  return std::string("Tidewellをインストールするフォルダを変更してください。\n（フォルダ名の長さは") +
         std::to_string(kMaxDataFolder) + "文字以内）";
}

std::string DataPath(const std::string& folder, const std::string& name) {
  if (EndsWithBackslash(folder)) return folder + name;
  return folder + "\\" + name;
}

}  // namespace tidewell
