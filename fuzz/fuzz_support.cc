#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fuzz {
namespace {

class OwnedDir {
 public:
  OwnedDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "d88fuzz-XXXXXX").string();
    Check(::mkdtemp(pattern.data()) != nullptr, "cannot create a private directory");
    path_ = pattern;
  }
  ~OwnedDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  OwnedDir(const OwnedDir&) = delete;
  OwnedDir& operator=(const OwnedDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

const std::filesystem::path& PrivateDir() {
  static const OwnedDir dir;
  return dir.path();
}

const char* WriteInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = (PrivateDir() / "input.d88").string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr, "cannot create the input file");
  Check(size == 0 || std::fwrite(data, 1, size, file) == size, "cannot write the input file");
  Check(std::fclose(file) == 0, "cannot close the input file");
  return path.c_str();
}

}  // namespace fuzz
