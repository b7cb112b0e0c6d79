// The profile through GLib's key files.
#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <memory>
#include <mutex>

#include "platform/profile.h"

namespace platform {

namespace {

struct KeyFileDeleter {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;

// Writers of one process take turns; readers need no lock since a write
// replaces the whole file at once.
std::mutex writeMutex;

KeyFile Load(const std::string& path) {
  KeyFile file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
    return nullptr;
  }
  return file;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  KeyFile file = Load(path_);
  if (!file) return defaultValue;
  GText text(g_key_file_get_value(file.get(), section.c_str(), key.c_str(), nullptr));
  if (!text) return defaultValue;
  return ParseProfileInt(text.get()).value_or(defaultValue);
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
  std::lock_guard lock(writeMutex);
  const std::string folder = Folder(path_);
  if (g_mkdir_with_parents(folder.c_str(), 0700) != 0) return false;

  // An unreadable old file is replaced by a fresh one.
  KeyFile file = Load(path_);
  if (!file) file.reset(g_key_file_new());
  g_key_file_set_value(file.get(), section.c_str(), key.c_str(), std::to_string(value).c_str());
  gsize size = 0;
  GText data(g_key_file_to_data(file.get(), &size, nullptr));
  if (!data) return false;

  std::string temporary = path_ + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = WriteAll(fd, data.get(), size) && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temporary.c_str(), path_.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
