// Files and directories for tests: scratch directories that clean up after
// themselves, and whole-file reads and writes.

#ifndef D88_TESTS_TEST_FILES_H_
#define D88_TESTS_TEST_FILES_H_

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace d88test {

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
// Names of the entries of a directory, temporary files included.
std::set<std::string> ListDirectory(const std::filesystem::path& dir);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace d88test

#endif  // D88_TESTS_TEST_FILES_H_
