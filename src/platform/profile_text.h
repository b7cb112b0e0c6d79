#pragma once
// The text of a profile (INI) file, read and changed the way the Windows
// profile API treats it, so that a file moved between the two systems means
// the same on both:
// - lines end in LF, CRLF or CR; a UTF-8 byte order mark is skipped;
// - "[name]" starts a section (text after the last ']' is ignored);
//   "key=value" is an entry; blank lines, lines starting with ';' or '#' and
//   lines that fit neither pattern are passed over;
// - section and key names match without regard to case; blanks around names
//   and values do not count; one pair of matching quotes around a value is
//   dropped;
// - only the first section of a name is looked at, and in it the first entry
//   of a key.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The value of key in section, or nullopt when either is missing.
std::optional<std::string_view> FindProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key);

// A value as GetPrivateProfileInt converts it: an empty value gives
// defaultValue; otherwise an optional sign, then "0x", "0o" or "0b" for
// base 16, 8 or 2, then the digits up to the first that is not one ("12abc"
// gives 12, "abc" gives 0), kept to 32 bits as the API does.
int ProfileValueToInt(std::string_view value, int defaultValue);

// text with key set to value: only the value on the key's line changes;
// a missing key gets a line after the last entry of its section, a missing
// section is added at the end. Every other byte stays as it was; new lines
// end like the file's first line.
std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

}  // namespace platform
