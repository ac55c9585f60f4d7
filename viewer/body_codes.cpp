#include "viewer/body_codes.h"

#include "viewer/display_pipeline.h"
#include "viewer/header_text.h"

namespace tidewell {

std::string Utf16Source(std::string_view body) {
  if (body.size() < 2) return std::string();
  const auto b0 = static_cast<unsigned char>(body[0]);
  const auto b1 = static_cast<unsigned char>(body[1]);
  const bool little = b0 == 0xFF && b1 == 0xFE;
  const bool big = b0 == 0xFE && b1 == 0xFF;
  if (!little && !big) return std::string();
  std::string_view units = body.substr(2);
  units = units.substr(0, units.size() & ~static_cast<std::size_t>(1));
  std::string out(units);
  if (big) {
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  }
  out.append(2, '\0');
  return out;
}

std::string BodyForCode(TextCodec& codec, std::string_view body, int command) {
  int code = 0;
  switch (command) {
    case kCodeJis: code = 2; break;
    case kCodeSjis: break;
    case kCodeEuc: code = 4; break;
    case kCodeUtf7: code = 5; break;
    case kCodeUtf8: code = 6; break;
    case kCodeUtf16: code = 7; break;
    default: return std::string();
  }
  std::string shown;
  if (code == 0) {
    shown.assign(body);
  } else {
    std::string source;
    if (code == 7) {
      source = Utf16Source(body);
    } else {
      source.assign(body.substr(0, body.find('\0')));
    }
    if (source.empty() || !codec.CodeConv(source, code, shown)) shown.clear();
  }
  shown.resize(SjisPrefix(shown, kBodyBuffer - 1));
  return shown;
}

}  // namespace tidewell
