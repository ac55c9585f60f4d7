// Values as they stand in an ini file and what the profile functions read
// from them. Run against MemoryProfile natively and against the real
// GetPrivateProfileIntA / GetPrivateProfileStringA under Wine, so the
// stand-in is known to read like the platform.
#pragma once

struct ProfileReadCase {
  const char* raw;       // text after "Key=" in the file
  int as_int;            // GetPrivateProfileIntA with default 77
  const char* as_text;   // GetPrivateProfileStringA
};

inline constexpr int kProfileCaseDefault = 77;

inline constexpr ProfileReadCase kProfileReadCases[] = {
    {"3", 3, "3"},
    {"0", 0, "0"},
    {"-4", -4, "-4"},
    {"+5", 5, "+5"},
    {"12abc", 12, "12abc"},    // leading number
    {"abc", 0, "abc"},         // present but not a number: 0, not the default
    {"", kProfileCaseDefault, ""},  // empty value: the default
    {"  42  ", 42, "42"},      // white space around the value is dropped
    {"1.9", 1, "1.9"},
    {"0x1F", 31, "0x1F"},      // the platform's number reader knows hex
    {"\"7\"", 7, "7"},         // one pair of quotes is removed
    {"'a b'", 0, "a b"},
    {"\"x", 0, "\"x"},         // an unmatched quote stays
    {"4294967295", -1, "4294967295"},  // 32-bit wrap-around
    {"- 3", 0, "- 3"},
};
