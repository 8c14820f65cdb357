#include "registry/local_prefix.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/environment_variable.h"

namespace quillprobe::registry {
namespace {

using test::ScopedEnvironmentVariable;

TEST(LocalPrefixTest, FollowsTheVariablesInOrder) {
  using Value = std::optional<std::string>;
  const struct {
    Value prefix, data_home, home;
    std::string expected;
  } cases[] = {
      {"/srv/qp", "/data", "/home/u", "/srv/qp"},
      {"relative/qp", std::nullopt, "/home/u", "relative/qp"},
      {"", "/data", "/home/u", "/data/quillprobe"},
      {std::nullopt, "/data", "/home/u", "/data/quillprobe"},
      {std::nullopt, "", "/home/u", "/home/u/.local/share/quillprobe"},
      {std::nullopt, "data", "/home/u", "/home/u/.local/share/quillprobe"},
      {std::nullopt, std::nullopt, "/home/u",
       "/home/u/.local/share/quillprobe"},
  };
  for (const auto& c : cases) {
    ScopedEnvironmentVariable prefix("QUILLPROBE_PREFIX", c.prefix);
    ScopedEnvironmentVariable data_home("XDG_DATA_HOME", c.data_home);
    ScopedEnvironmentVariable home("HOME", c.home);
    EXPECT_EQ(LocalPrefix(), c.expected) << c.expected;
  }
}

TEST(LocalPrefixTest, WithoutHomeFallsBackToTheUserDatabase) {
  ScopedEnvironmentVariable prefix("QUILLPROBE_PREFIX", std::nullopt);
  ScopedEnvironmentVariable data_home("XDG_DATA_HOME", std::nullopt);
  ScopedEnvironmentVariable home("HOME", std::nullopt);
  const auto found = LocalPrefix();
  // Every account this runs under has a home directory in the database.
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(found.is_absolute());
  EXPECT_EQ(found.filename(), "quillprobe");
  EXPECT_EQ(found.parent_path().filename(), "share");
}

}  // namespace
}  // namespace quillprobe::registry
