#pragma once
// Our texts are single-byte ANSI strings with '&' marking a mnemonic; GTK
// wants UTF-8 with '_'. These turn one into the other.

#include <string>

// UTF-8 texts pass unchanged; anything else is read as Windows-1252.
std::string ToDisplayUtf8(const std::string& text);

// "&About..." -> "_About...", "&&" -> "&", "_" -> "__" (so it stays literal).
std::string MnemonicToGtk(const std::string& text);

// The text without mnemonic marks, as the user reads it: "&OK" -> "OK".
std::string StripMnemonic(const std::string& text);
