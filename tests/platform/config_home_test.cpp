// The settings folder under each combination of XDG_CONFIG_HOME and HOME:
// never a shared folder, the password database when HOME is missing.
#include "platform/config_home.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/exe_path.h"
#include "support/scoped_variable.h"

namespace {

using testing_support::ScopedVariable;

TEST(AppConfigDirectory, FollowsXdgThenHomeThenThePasswordDatabase) {
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  const std::string fromDatabase = std::string(user->pw_dir) + "/.config";
  const std::optional<std::string> none;
  const struct {
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::string expected;
  } cases[] = {
      {"/x/config", "/h", "/x/config"},
      {"relative/config", "/h", "/h/.config"},
      {"", "/h", "/h/.config"},
      {none, "/h", "/h/.config"},
      {none, none, fromDatabase},
      {none, "", fromDatabase},
      {"relative", "relative", fromDatabase},
  };
  for (const auto& c : cases) {
    ScopedVariable xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(platform::AppConfigDirectory(), c.expected + "/" + platform::ExecutableBaseName())
        << c.xdg.value_or("(unset)") << " " << c.home.value_or("(unset)");
  }
}

}  // namespace
