#pragma once
// What is read from the texts the device library returns. All comparisons
// are byte-wise and case-sensitive.

#include <string>
#include <string_view>

// The marker in a boot text that the boot ID follows.
inline constexpr std::string_view kOemMarker = "OEM ";

// True when the characters right after the first "OEM " in text equal
// bootId. A later "OEM " is never looked at.
bool MatchesOemBootId(std::string_view text, std::string_view bootId);

// True when key occurs anywhere in text.
bool ContainsKey(std::string_view text, std::string_view key);

// The installed version from an application text: the text from its sixth
// byte, trailing then leading white space removed.
std::string VersionFromApplicationText(std::string_view text);
