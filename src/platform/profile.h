#pragma once
// The application profile: integers under sections and keys of an INI file
// named after the executable, in the program's configuration folder:
// Linux  ${XDG_CONFIG_HOME:-$HOME/.config}/<exe-name>/<exe-name>.ini
// Windows %APPDATA%\<exe-name>\<exe-name>.ini
//
// Read as GetPrivateProfileInt reads it (Windows uses the API itself; Linux
// follows its rules, see profile_text.h): a missing file, section or key
// gives the default. A write changes only the key's own line and keeps every
// other byte of the file; it replaces the file through a temporary file in
// the same folder, so the old file stays whole until the new one is
// complete. A file that exists but cannot be read is never replaced.
// Any thread may read and write.

#include <string>

#include "platform/error.h"

namespace platform {

class Profile {
 public:
  // An empty path is a profile that cannot be kept: reads give the default,
  // writes fail.
  explicit Profile(std::string path) : path_(std::move(path)) {}
  // The running program's own profile; without a configuration folder (no
  // home folder known) one that cannot be kept.
  static Profile ForThisProgram();

  const std::string& Path() const { return path_; }

  int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
  // Creates the folder and the file when missing. When the file cannot be
  // written it is unchanged, and the error names the file (without its
  // folders: it goes to the support log), the failing step and the system's
  // reason.
  Result<> WriteInt(const std::string& section, const std::string& key, int value);

 private:
  std::string path_;
};

}  // namespace platform
