// Runs a built program as a child process for end-to-end tests (POSIX):
// in a given directory, with its standard output and error captured from
// files or from pseudo-terminals, its standard input or another descriptor
// taken from the test, and the exact exit status.

#ifndef D88_TESTS_CHILD_PROCESS_H_
#define D88_TESTS_CHILD_PROCESS_H_

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace d88test {

struct ChildOptions {
  std::filesystem::path workDir;
  // The child may write no file past this size and gets EFBIG instead of
  // SIGXFSZ.
  std::optional<rlim_t> fileSizeLimit;
  int standardInput = -1;  // a descriptor that becomes the child's stdin
  int keepOpen = -1;       // a descriptor the child keeps under its number
  // The child's whole environment; the test's own when not given.
  std::optional<std::vector<std::string>> environment;
  // Each on a pseudo-terminal of its own in raw mode, so that its bytes
  // arrive unchanged; otherwise into a file.
  bool stdoutIsTerminal = false;
  bool stderrIsTerminal = false;
};

struct ChildOutcome {
  int status = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with exactly `argv` (argv[0] included; may be empty).
ChildOutcome RunChild(const std::string& program, const std::vector<std::string>& argv,
                      const ChildOptions& options);

// Feeds bytes into a pipe from a thread of its own: `bytes`, then, if
// `endless`, zero bytes until the reader goes away. The write end closes
// when the bytes are out. SIGPIPE is ignored from then on in the test.
class PipeFeeder {
 public:
  explicit PipeFeeder(std::vector<std::uint8_t> bytes, bool endless = false);
  ~PipeFeeder();
  PipeFeeder(const PipeFeeder&) = delete;
  PipeFeeder& operator=(const PipeFeeder&) = delete;

  // The read end, for the child; closed by the destructor.
  int readEnd() const { return readEnd_; }
  // "/dev/fd/N" for the read end, as a shell's process substitution names it.
  std::string DevFdPath() const { return "/dev/fd/" + std::to_string(readEnd_); }

 private:
  int readEnd_ = -1;
  std::thread writer_;
};

// Writes `bytes` into a FIFO that this makes at `path` once a reader opens
// it, from a thread of its own.
class FifoFeeder {
 public:
  FifoFeeder(const std::filesystem::path& path, std::vector<std::uint8_t> bytes);
  ~FifoFeeder();
  FifoFeeder(const FifoFeeder&) = delete;
  FifoFeeder& operator=(const FifoFeeder&) = delete;

 private:
  std::filesystem::path path_;
  std::thread writer_;
};

}  // namespace d88test

#endif  // D88_TESTS_CHILD_PROCESS_H_
