#include "platform/profile_text.h"

#include <cstdint>

#include "platform/ascii_case.h"

namespace platform {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// [begin, end) without blanks at either end.
void Trim(std::string_view text, std::size_t& begin, std::size_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

enum class LineKind { Ignored, Section, Entry };

struct Line {
  std::size_t begin = 0;       // first byte
  std::size_t contentEnd = 0;  // where the line end starts
  std::size_t end = 0;         // after the line end
  LineKind kind = LineKind::Ignored;
  std::string_view name;       // the section's or the key's
  std::size_t valueBegin = 0;  // entries: the value without blanks
  std::size_t valueEnd = 0;
};

Line ReadLine(std::string_view text, std::size_t begin) {
  Line line;
  line.begin = begin;
  if (begin == 0 && text.starts_with(kByteOrderMark)) begin = kByteOrderMark.size();
  const std::size_t cut = text.find_first_of("\r\n", begin);
  line.contentEnd = cut == std::string_view::npos ? text.size() : cut;
  line.end = line.contentEnd;
  if (line.end < text.size()) {
    line.end += text.compare(line.end, 2, "\r\n") == 0 ? 2 : 1;
  }

  std::size_t first = begin;
  std::size_t last = line.contentEnd;
  Trim(text, first, last);
  if (first == last || text[first] == ';' || text[first] == '#') return line;
  if (text[first] == '[') {
    const std::size_t close = text.substr(first, last - first).rfind(']');
    if (close == std::string_view::npos) return line;
    std::size_t nameBegin = first + 1;
    std::size_t nameEnd = first + close;
    Trim(text, nameBegin, nameEnd);
    line.kind = LineKind::Section;
    line.name = text.substr(nameBegin, nameEnd - nameBegin);
    return line;
  }
  const std::size_t equals = text.substr(0, last).find('=', first);
  if (equals == std::string_view::npos) return line;
  std::size_t keyEnd = equals;
  Trim(text, first, keyEnd);
  if (first == keyEnd) return line;
  line.kind = LineKind::Entry;
  line.name = text.substr(first, keyEnd - first);
  line.valueBegin = equals + 1;
  line.valueEnd = last;
  Trim(text, line.valueBegin, line.valueEnd);
  return line;
}

// Where the key lives in the text: its line, or the section's last entry
// (or header) to add it after.
struct Place {
  std::optional<Line> section;
  std::optional<Line> entry;
  Line lastInSection;
};

Place Locate(std::string_view text, std::string_view section, std::string_view key) {
  Place place;
  bool inSection = false;
  for (std::size_t at = 0; at < text.size();) {
    const Line line = ReadLine(text, at);
    at = line.end;
    if (line.kind == LineKind::Section) {
      if (inSection) break;  // later sections of the same name are not read
      inSection = EqualIgnoringAsciiCase(line.name, section);
      if (inSection) place.section = place.lastInSection = line;
    } else if (inSection && line.kind == LineKind::Entry) {
      place.lastInSection = line;
      if (EqualIgnoringAsciiCase(line.name, key)) {
        place.entry = line;
        break;
      }
    }
  }
  return place;
}

std::string_view LineEndOf(std::string_view text) {
  const std::size_t cut = text.find_first_of("\r\n");
  if (cut == std::string_view::npos) return "\n";
  return text.compare(cut, 2, "\r\n") == 0 ? "\r\n" : text.substr(cut, 1);
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

}  // namespace

std::optional<std::string_view> FindProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key) {
  const Place place = Locate(text, section, key);
  if (!place.entry) return std::nullopt;
  std::string_view value =
      text.substr(place.entry->valueBegin, place.entry->valueEnd - place.entry->valueBegin);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

int ProfileValueToInt(std::string_view value, int defaultValue) {
  // The API hands the value on as a C string: it ends at a NUL byte.
  value = value.substr(0, value.find('\0'));
  if (value.empty()) return defaultValue;
  std::size_t at = 0;
  while (at < value.size() && static_cast<unsigned char>(value[at]) <= ' ') ++at;
  bool negative = false;
  if (at < value.size() && (value[at] == '+' || value[at] == '-')) negative = value[at++] == '-';
  unsigned base = 10;
  if (value.substr(at, 2) == "0x") base = 16;
  if (value.substr(at, 2) == "0o") base = 8;
  if (value.substr(at, 2) == "0b") base = 2;
  if (base != 10) at += 2;
  std::uint32_t total = 0;  // wraps at 32 bits, as the API's does
  for (; at < value.size(); ++at) {
    const int digit = DigitValue(value[at]);
    if (digit >= static_cast<int>(base)) break;
    total = total * base + static_cast<std::uint32_t>(digit);
  }
  if (negative) total = 0u - total;
  return static_cast<int>(total);
}

std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
  const Place place = Locate(text, section, key);
  std::string result(text);
  if (place.entry) {
    result.replace(place.entry->valueBegin, place.entry->valueEnd - place.entry->valueBegin, value);
    return result;
  }
  const std::string_view lineEnd = LineEndOf(text);
  std::string added;
  std::size_t at = text.size();
  if (place.section) {
    at = place.lastInSection.end;
    // The section's last line may be the file's last, without a line end.
    if (place.lastInSection.contentEnd == at) added += lineEnd;
  } else {
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') added += lineEnd;
    added.append("[").append(section).append("]").append(lineEnd);
  }
  added.append(key).append("=").append(value).append(lineEnd);
  result.insert(at, added);
  return result;
}

}  // namespace platform
