// The platform's character-set conversions, as Windows names them: code page
// 932 (Shift_JIS), 65000 (UTF-7) and 65001 (UTF-8) to and from UTF-16.
// unicode_win32.cpp uses MultiByteToWideChar / WideCharToMultiByte;
// unicode_iconv.cpp gives the same results with glibc iconv on other systems.
#pragma once

#include <string>
#include <string_view>

namespace inkwell2::backend {

constexpr int kCp932 = 932;
constexpr int kCpUtf7 = 65000;
constexpr int kCpUtf8 = 65001;

// Decodes bytes of code page cp to UTF-16. Invalid input becomes replacement
// characters, as the platform does without its strict flag. False on failure.
bool to_utf16(int cp, std::string_view src, std::u16string& out);

// Encodes UTF-16 in code page cp. Characters without a code become the
// code page's default character. False on failure.
bool from_utf16(int cp, std::u16string_view src, std::string& out);

}  // namespace inkwell2::backend
