#include "tests/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "tests/test_files.h"

extern char** environ;

namespace d88test {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A pseudo-terminal whose slave passes bytes through unchanged.
struct Terminal {
  int master = -1;
  int slave = -1;
};

Terminal OpenRawTerminal() {
  termios raw{};
  cfmakeraw(&raw);
  Terminal terminal;
  if (openpty(&terminal.master, &terminal.slave, nullptr, &raw, nullptr) != 0) Fail("openpty");
  fcntl(terminal.master, F_SETFD, FD_CLOEXEC);
  fcntl(terminal.slave, F_SETFD, FD_CLOEXEC);
  return terminal;
}

// Reads every master until the child's side is closed (EIO or end).
void DrainTerminals(std::vector<std::pair<int, std::string*>> masters) {
  while (!masters.empty()) {
    std::vector<pollfd> polls;
    for (const auto& [fd, text] : masters) polls.push_back({fd, POLLIN, 0});
    if (poll(polls.data(), polls.size(), -1) < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    for (std::size_t i = polls.size(); i-- > 0;) {
      if (polls[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = read(masters[i].first, chunk, sizeof chunk);
      if (got > 0) {
        masters[i].second->append(chunk, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        masters.erase(masters.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the reader has gone
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void FeedEndlessZeros(int fd) {
  static const std::vector<std::uint8_t> zeros(64 * 1024, 0);
  for (;;) {
    const ssize_t written = write(fd, zeros.data(), zeros.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
  }
}

}  // namespace

ChildOutcome RunChild(const std::string& program, const std::vector<std::string>& argv,
                      const ChildOptions& options) {
  // Everything the child needs is made before fork: only async-signal-safe
  // calls may come between fork and exec.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> environment;
  if (options.environment) {
    for (const std::string& entry : *options.environment) environment.push_back(const_cast<char*>(entry.c_str()));
    environment.push_back(nullptr);
  }
  char* const* envp = options.environment ? environment.data() : environ;

  ScratchDir capture;
  const std::string outPath = (capture / "stdout").string();
  const std::string errPath = (capture / "stderr").string();
  const std::string workPath = options.workDir.string();
  Terminal outTerminal;
  Terminal errTerminal;
  if (options.stdoutIsTerminal) outTerminal = OpenRawTerminal();
  if (options.stderrIsTerminal) errTerminal = OpenRawTerminal();

  const pid_t child = fork();
  if (child < 0) Fail("fork");
  if (child == 0) {
    const int out = options.stdoutIsTerminal ? outTerminal.slave
                                             : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = options.stderrIsTerminal ? errTerminal.slave
                                             : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) _exit(126);
    if (options.standardInput >= 0 && dup2(options.standardInput, STDIN_FILENO) < 0) _exit(126);
    if (options.keepOpen >= 0 && fcntl(options.keepOpen, F_SETFD, 0) != 0) _exit(126);
    if (chdir(workPath.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit) {
      const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || sigaction(SIGXFSZ, &ignore, nullptr) != 0) _exit(126);
    }
    execve(program.c_str(), args.data(), envp);
    _exit(127);
  }

  ChildOutcome outcome;
  std::vector<std::pair<int, std::string*>> masters;
  for (Terminal* terminal : {&outTerminal, &errTerminal}) {
    if (terminal->slave >= 0) close(terminal->slave);
  }
  if (options.stdoutIsTerminal) masters.emplace_back(outTerminal.master, &outcome.out);
  if (options.stderrIsTerminal) masters.emplace_back(errTerminal.master, &outcome.err);
  DrainTerminals(masters);
  for (const auto& [fd, text] : masters) close(fd);

  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  const auto readText = [](const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
  };
  if (!options.stdoutIsTerminal) outcome.out = readText(outPath);
  if (!options.stderrIsTerminal) outcome.err = readText(errPath);
  return outcome;
}

PipeFeeder::PipeFeeder(std::vector<std::uint8_t> bytes, bool endless) {
  signal(SIGPIPE, SIG_IGN);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) Fail("pipe2");
  readEnd_ = ends[0];
  const int writeEnd = ends[1];
  writer_ = std::thread([writeEnd, endless, bytes = std::move(bytes)] {
    WriteAll(writeEnd, bytes.data(), bytes.size());
    if (endless) FeedEndlessZeros(writeEnd);
    close(writeEnd);
  });
}

PipeFeeder::~PipeFeeder() {
  // The writer of an endless stream stops once no reader is left.
  close(readEnd_);
  writer_.join();
}

FifoFeeder::FifoFeeder(const std::filesystem::path& path, std::vector<std::uint8_t> bytes)
    : path_(path) {
  signal(SIGPIPE, SIG_IGN);
  if (mkfifo(path.c_str(), 0600) != 0) Fail("mkfifo");
  writer_ = std::thread([path, bytes = std::move(bytes)] {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);  // waits for the reader
    if (fd < 0) return;
    WriteAll(fd, bytes.data(), bytes.size());
    close(fd);
  });
}

FifoFeeder::~FifoFeeder() {
  // A reader of our own lets the writer go on, and then fail, even when the
  // program under test never opened the FIFO.
  const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) close(fd);
  writer_.join();
}

}  // namespace d88test
