#pragma once
// The application profile: integers under sections and keys of an INI file
// named after the executable, in the program's configuration folder:
// Linux  ${XDG_CONFIG_HOME:-$HOME/.config}/<exe-name>/<exe-name>.ini
// Windows %APPDATA%\<exe-name>\<exe-name>.ini
//
// A write replaces the file through a temporary file in the same folder, so
// the old file stays whole until the new one is complete. A missing, empty or
// unreadable file, a missing key, or a value that is not a decimal number
// fitting 32 bits reads as the default; the next write repairs the file.
// Any thread may read and write.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Profile {
 public:
  explicit Profile(std::string path) : path_(std::move(path)) {}
  // The running program's own profile.
  static Profile ForThisProgram();

  const std::string& Path() const { return path_; }

  int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
  // Creates the folder and the file when missing; false when it cannot be
  // written (the old file is then unchanged).
  bool WriteInt(const std::string& section, const std::string& key, int value);

 private:
  std::string path_;
};

// A profile value as a number: optional blanks, an optional sign, decimal
// digits, optional blanks; nullopt for anything else or beyond 32 bits.
std::optional<int> ParseProfileInt(std::string_view text);

}  // namespace platform
