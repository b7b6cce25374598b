#include "tool/output_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "d88gen/image_builder.h"
#include "tests/test_files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class OutputFileTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(dir_.path());
  }
  void TearDown() override { fs::current_path(previous_); }

  bool Write(const char* name, const Bytes& bytes) {
    reason_.clear();
    return WriteOutputFile(name, bytes.data(), bytes.size(), reason_);
  }

  std::set<std::string> Names() const { return d88test::ListDirectory(dir_.path()); }

  d88test::ScratchDir dir_;
  fs::path previous_;
  std::string reason_;
};

TEST_F(OutputFileTest, CreatesAndReplacesWhole) {
  const Bytes cases[] = {Bytes(1000, 0xAB), Bytes{1, 2, 3}, Bytes{}, Bytes(70000, 0x5C)};
  for (const Bytes& bytes : cases) {
    SCOPED_TRACE(bytes.size());
    ASSERT_TRUE(Write("OUT", bytes)) << reason_;
    EXPECT_EQ(d88test::ReadFile("OUT"), bytes);
    EXPECT_EQ(Names(), std::set<std::string>{"OUT"});
  }
}

TEST_F(OutputFileTest, FailureLeavesNoTemporaryFile) {
  fs::create_directory("TAKEN");
  d88test::WriteFile(fs::path("TAKEN") / "inside", {1});
  const char* const names[] = {"TAKEN", "missing/OUT"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Write(name, Bytes(10, 1)));
    EXPECT_FALSE(reason_.empty());
    EXPECT_EQ(Names(), std::set<std::string>{"TAKEN"});
  }
  EXPECT_EQ(d88test::ReadFile(fs::path("TAKEN") / "inside"), Bytes{1});
}

#ifndef _WIN32
TEST_F(OutputFileTest, ModeFollowsTheUmask) {
  const struct {
    mode_t umask;
    mode_t mode;
  } cases[] = {{022, 0644}, {077, 0600}, {0, 0666}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.umask);
    const mode_t previous = ::umask(c.umask);
    const bool written = Write("OUT", Bytes{1});
    ::umask(previous);
    ASSERT_TRUE(written) << reason_;
    struct stat info {};
    ASSERT_EQ(::stat("OUT", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, c.mode);
  }
}
#endif

}  // namespace
