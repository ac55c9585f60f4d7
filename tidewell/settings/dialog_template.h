// The font of an in-memory dialog template (DLGTEMPLATE or DLGTEMPLATEEX, as
// the resource compiler stores them), read and replaced byte by byte.
//
// The settings sheet sizes itself in its own font's dialog units; a page
// drawn in another font would not fit it. The pages are therefore shown in
// the sheet's font: their templates are copied with the font replaced.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

struct DialogFont {
  std::uint16_t point = 0;
  std::uint16_t weight = 0;   // DLGTEMPLATEEX only
  std::uint8_t italic = 0;    // DLGTEMPLATEEX only
  std::uint8_t charset = 0;   // DLGTEMPLATEEX only
  std::u16string face;
};

// The font of a template with DS_SETFONT. False when the template has no
// font or is cut short.
bool ReadDialogFont(std::string_view dialog_template, DialogFont& font);

// A copy of a DLGTEMPLATEEX with DS_SETFONT whose font is font; the items
// follow unchanged (moved by a multiple of four bytes, so they keep their
// alignment). False, out untouched, for any other template.
bool ReplaceDialogFont(std::string_view dialog_template, const DialogFont& font, std::string& out);

}  // namespace tidewell
