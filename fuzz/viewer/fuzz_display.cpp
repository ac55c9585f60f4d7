// The display pipeline over arbitrary message file bytes, through the MIME
// reader: no crash, no read or write outside a buffer (ASan), every field
// within its display buffer, and each input read in bounded time (libFuzzer's
// -timeout catches a reader that is not linear).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/viewer/core_text_codec.h"
#include "viewer/body_codes.h"
#include "viewer/display_pipeline.h"
#include "viewer/mime_reader.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tidewell;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  testing::CoreTextCodec codec;
  for (const PipelineOptions& options : {PipelineOptions::List(), PipelineOptions::Standalone()}) {
    DisplayFields fields;
    BuildDisplay(codec, text, options, fields);
    Check(fields.subject.size() < options.name_buffer);
    Check(fields.sender.size() < options.name_buffer);
    Check(fields.date.size() < 50);
    Check(fields.body.size() < kBodyBuffer);
    Check(fields.part.size() <= kPartByteLimit);
    for (int command = kCodeJis; command <= kCodeUtf16; ++command) {
      Check(BodyForCode(codec, fields.body, command).size() < kBodyBuffer);
      Check(BodyTextForCode(codec, fields, command).size() < kBodyBuffer);
    }
  }
  return 0;
}
