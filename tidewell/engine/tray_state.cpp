#include "tidewell/engine/tray_state.h"

#include <cstdio>

#include "tidewell/engine/engine_state.h"

namespace tidewell {

int TrayIconResource(TrayState state) {
  switch (state) {
    case TrayState::kNormal: return 131;
    case TrayState::kMail: return 132;
    case TrayState::kChecking: return 133;
    case TrayState::kErrorWithMail: return 134;
    case TrayState::kError: return 135;
  }
  return 131;
}

IconChoice TrayUserIcon(Profile& profile, const std::string& data_folder, TrayState state) {
  switch (state) {
    case TrayState::kNormal: return ReadIconChoice(profile, data_folder, TrayIconState::kNormal);
    case TrayState::kMail: return ReadIconChoice(profile, data_folder, TrayIconState::kReceive);
    case TrayState::kChecking: return ReadIconChoice(profile, data_folder, TrayIconState::kConnect);
    case TrayState::kError:
    case TrayState::kErrorWithMail: break;
  }
  return IconChoice();
}

std::string TrayTooltip(TrayState state, int total) {
  char buf[128];
  switch (state) {
    case TrayState::kNormal: return "Tidewell";
    case TrayState::kChecking: return "メールチェック中";
    case TrayState::kError: return "接続エラー";
    case TrayState::kMail:
      std::snprintf(buf, sizeof buf, "%d通の新着メールがあります。", total);
      break;
    case TrayState::kErrorWithMail:
      std::snprintf(buf, sizeof buf, "接続エラー ＆\n%d通の新着メールがあります。", total);
      break;
  }
  return CutShiftJis(buf, kTrayTipSize - 1);
}

std::uint32_t FlagsAfterTrayState(TrayState state, std::uint32_t flags) {
  switch (state) {
    case TrayState::kMail:
    case TrayState::kErrorWithMail: return flags | kMailShown;
    case TrayState::kNormal:
    case TrayState::kError: return flags & ~kMailShown;
    case TrayState::kChecking: return flags;
  }
  return flags;
}

std::string CutShiftJis(const std::string& text, std::size_t max_bytes) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const std::size_t width = (lead && i + 1 < text.size()) ? 2 : 1;
    if (i + width > max_bytes) break;
    i += width;
  }
  return text.substr(0, i);
}

}  // namespace tidewell
