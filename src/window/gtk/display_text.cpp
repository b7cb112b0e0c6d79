#include "window/gtk/display_text.h"

#include <glib.h>

namespace {

std::string Latin1ToUtf8(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else {
      result += static_cast<char>(0xC0 | (c >> 6));
      result += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return result;
}

}  // namespace

std::string ToDisplayUtf8(const std::string& text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
  gsize written = 0;
  gchar* converted = g_convert_with_fallback(text.data(), static_cast<gssize>(text.size()), "UTF-8",
                                             "WINDOWS-1252", "?", nullptr, &written, nullptr);
  if (!converted) return Latin1ToUtf8(text);  // bytes Windows-1252 leaves undefined
  std::string result(converted, written);
  g_free(converted);
  return result;
}

std::string MnemonicToGtk(const std::string& text) {
  std::string result;
  result.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        result += '&';
        ++i;
      } else if (i + 1 < text.size()) {
        result += '_';
      }
    } else if (c == '_') {
      result += "__";
    } else {
      result += c;
    }
  }
  return result;
}

std::string StripMnemonic(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size())
      ++i;
    else if (text[i] == '&')
      continue;
    result += text[i];
  }
  return result;
}
