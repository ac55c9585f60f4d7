#include "tidewell/engine/data_folder.h"

namespace tidewell {

std::string DataFolderFromCurrentDirectory(std::string dir) {
  if (dir.size() != 3 && !dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

bool IsDataFolderAccepted(const std::string& folder) { return folder.size() + 40 <= 260; }

std::string DataFolderTooLongMessage() {
  return std::string("Tidewellをインストールするフォルダを変更してください。\n（フォルダ名の長さは") +
         std::to_string(kMaxDataFolder) + "文字以内）";
}

std::string DataPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

}  // namespace tidewell
