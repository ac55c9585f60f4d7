// Pieces shared by the files of inkwell2_core.
#pragma once

#include <string>
#include <string_view>

#include "inkwell2/codec.h"

namespace inkwell2 {

bool sjis_to_jis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2);
void jis_to_sjis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2);

std::string sjis_to_iso2022jp(std::string_view src);  // code 1, unbounded
std::string iso2022jp_to_sjis(std::string_view src);  // code 2
std::string euc_to_iso2022jp(std::string_view src);   // code 3, unbounded

// Reads a whole file, at most max bytes. False when it cannot be opened.
bool read_file_prefix(const char* path, std::size_t max, std::string& out);
// Writes bytes to path, replacing it. False on any failure.
bool write_file(const char* path, std::string_view bytes);

}  // namespace inkwell2

namespace inkwell2 {
std::string base64_decode(std::string_view src);
// Delivers out when it fits output_limit(n, factor), else empty with result 0.
std::string deliver_bounded(std::string& out, std::size_t n, int factor, int value, int* result);
}  // namespace inkwell2
