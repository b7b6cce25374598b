#include "tool/output_file.h"

#include <cerrno>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// Replaced by the platform with characters that make the name unique.
constexpr char kUniqueSuffix[] = "XXXXXX";

std::string ErrnoReason(int error) { return std::strerror(error); }

std::string TemporaryPattern() { return std::string(kTemporaryPrefix) + kUniqueSuffix; }

// The platform's part: create a fresh temporary file, write to it, close it,
// move it over the output name, remove it. Each returns false and sets
// `reason` on failure.
#ifdef _WIN32

// _mktemp_s draws from only a few names per pattern; a name taken by another
// process is tried again.
constexpr int kCreateAttempts = 26;
// _write takes an unsigned int count.
constexpr std::size_t kLargestWrite = 1u << 30;

bool CreateTemporary(std::string& path, int& handle, std::string& reason) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::string pattern = TemporaryPattern();
    const errno_t named = _mktemp_s(pattern.data(), pattern.size() + 1);
    if (named != 0) {
      reason = ErrnoReason(named);
      return false;
    }
    const errno_t opened = _sopen_s(&handle, pattern.c_str(),
                                    _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                    _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (opened == 0) {
      path = pattern;
      return true;
    }
    if (opened != EEXIST) {
      reason = ErrnoReason(opened);
      return false;
    }
  }
  reason = ErrnoReason(EEXIST);
  return false;
}

bool WriteAll(int handle, const std::uint8_t* data, std::size_t size, std::string& reason) {
  while (size > 0) {
    const std::size_t chunk = size < kLargestWrite ? size : kLargestWrite;
    const int written = _write(handle, data, static_cast<unsigned>(chunk));
    if (written <= 0) {
      reason = ErrnoReason(written < 0 ? errno : ENOSPC);
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool CloseFile(int handle, std::string& reason) {
  if (_close(handle) == 0) return true;
  reason = ErrnoReason(errno);
  return false;
}

std::string SystemMessage(DWORD error) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(error) : message;
}

bool MoveOver(const std::string& from, const char* to, std::string& reason) {
  if (MoveFileExA(from.c_str(), to, MOVEFILE_REPLACE_EXISTING)) return true;
  reason = SystemMessage(GetLastError());
  return false;
}

void RemoveFile(const std::string& path) { _unlink(path.c_str()); }

#else

// A new file gets this mode less the umask, as with any file the user creates.
constexpr mode_t kNewFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;

mode_t CurrentUmask() {
  // Reading the umask means setting it; the tool is single-threaded.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

bool CreateTemporary(std::string& path, int& handle, std::string& reason) {
  std::string pattern = TemporaryPattern();
  handle = ::mkstemp(pattern.data());
  if (handle < 0) {
    reason = ErrnoReason(errno);
    return false;
  }
  // mkstemp makes the file private to its owner.
  if (::fchmod(handle, kNewFileMode & ~CurrentUmask()) != 0) {
    reason = ErrnoReason(errno);
    ::close(handle);
    ::unlink(pattern.c_str());
    return false;
  }
  path = pattern;
  return true;
}

bool WriteAll(int handle, const std::uint8_t* data, std::size_t size, std::string& reason) {
  while (size > 0) {
    const ssize_t written = ::write(handle, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A write that makes no progress would loop for ever.
      reason = ErrnoReason(written < 0 ? errno : EIO);
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool CloseFile(int handle, std::string& reason) {
  // Not retried on EINTR: the descriptor is gone either way.
  if (::close(handle) == 0) return true;
  reason = ErrnoReason(errno);
  return false;
}

bool MoveOver(const std::string& from, const char* to, std::string& reason) {
  if (::rename(from.c_str(), to) == 0) return true;
  reason = ErrnoReason(errno);
  return false;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

#endif

}  // namespace

bool WriteOutputFile(const char* name, const std::uint8_t* data, std::size_t size,
                     std::string& reason) {
  std::string temporary;
  int handle = -1;
  if (!CreateTemporary(temporary, handle, reason)) return false;

  bool ok = WriteAll(handle, data, size, reason);
  // Closed in any case; a failing close after good writes can mean lost data.
  std::string closeReason;
  if (!CloseFile(handle, closeReason) && ok) {
    ok = false;
    reason = closeReason;
  }
  if (ok && MoveOver(temporary, name, reason)) return true;
  RemoveFile(temporary);
  return false;
}
