#include "reader/image_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// The platform's part. Each read returns the bytes that arrived, 0 at the
// end or on an error.
#ifdef _WIN32

HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(handle);
}

std::wstring Widen(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// The system's text for `error`, in UTF-8.
std::string SystemMessage(DWORD error) {
  wchar_t text[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, 512, nullptr);
  std::string message(static_cast<std::size_t>(length) * 3, '\0');
  message.resize(static_cast<std::size_t>(WideCharToMultiByte(
      CP_UTF8, 0, text, static_cast<int>(length), message.data(), static_cast<int>(message.size()),
      nullptr, nullptr)));
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(error) : message;
}

// Other programs may go on reading, writing, renaming and deleting the image.
// A directory does not open without FILE_FLAG_BACKUP_SEMANTICS.
Handle OpenForReading(const char* path, bool& isStream, std::string& reason) {
  const std::wstring wide = Widen(path);
  if (wide.empty()) {
    reason = SystemMessage(ERROR_INVALID_NAME);
    return kNoHandle;
  }
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = SystemMessage(GetLastError());
    return kNoHandle;
  }
  isStream = GetFileType(handle) != FILE_TYPE_DISK;
  return FromHandle(handle);
}

std::int32_t ReadAtOffset(Handle handle, std::int64_t offset, std::uint8_t* dest,
                          std::int32_t length) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle), dest, static_cast<DWORD>(length), &got, &at)) return 0;
  return static_cast<std::int32_t>(got);
}

std::int32_t ReadNext(Handle handle, std::uint8_t* dest, std::int32_t length) {
  DWORD got = 0;
  // A pipe whose writer has gone fails with ERROR_BROKEN_PIPE: its end.
  if (!ReadFile(AsHandle(handle), dest, static_cast<DWORD>(length), &got, nullptr)) return 0;
  return static_cast<std::int32_t>(got);
}

bool WriteAtOffset(Handle handle, std::int64_t offset, const std::uint8_t* data,
                   std::int32_t length, std::string& reason) {
  while (length > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle), data, static_cast<DWORD>(length), &written, &at) ||
        written == 0) {
      reason = SystemMessage(GetLastError());
      return false;
    }
    data += written;
    offset += written;
    length -= static_cast<std::int32_t>(written);
  }
  return true;
}

Handle CreateSpoolFile(std::string& reason) {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"d88", 0, name) == 0) {
    reason = "cannot create a temporary file: " + SystemMessage(GetLastError());
    return kNoHandle;
  }
  // GetTempFileNameW made the file; it goes when the handle closes, however
  // the process ends.
  const HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                    CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = "cannot create a temporary file: " + SystemMessage(GetLastError());
    DeleteFileW(name);
    return kNoHandle;
  }
  return FromHandle(handle);
}

void CloseFile(Handle handle) { CloseHandle(AsHandle(handle)); }

#else

Handle OpenForReading(const char* path, bool& isStream, std::string& reason) {
  int handle;
  do {
    handle = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) {
    reason = std::strerror(errno);
    return kNoHandle;
  }
  // A directory opens for reading here but has no bytes to give: it is not
  // an image file.
  struct stat status;
  const int error = ::fstat(handle, &status) != 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
  if (error != 0) {
    reason = std::strerror(error);
    ::close(handle);
    return kNoHandle;
  }
  // Only what cannot seek needs a copy; a character device such as
  // /dev/zero reads at any offset.
  isStream = !S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode) &&
             ::lseek(handle, 0, SEEK_CUR) < 0 && errno == ESPIPE;
  return handle;
}

std::int32_t ReadAtOffset(Handle handle, std::int64_t offset, std::uint8_t* dest,
                          std::int32_t length) {
  ssize_t got;
  do {
    got = ::pread(static_cast<int>(handle), dest, static_cast<std::size_t>(length),
                  static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<std::int32_t>(got) : 0;
}

std::int32_t ReadNext(Handle handle, std::uint8_t* dest, std::int32_t length) {
  ssize_t got;
  do {
    got = ::read(static_cast<int>(handle), dest, static_cast<std::size_t>(length));
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<std::int32_t>(got) : 0;
}

bool WriteAtOffset(Handle handle, std::int64_t offset, const std::uint8_t* data,
                   std::int32_t length, std::string& reason) {
  while (length > 0) {
    const ssize_t written = ::pwrite(static_cast<int>(handle), data,
                                     static_cast<std::size_t>(length), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      reason = std::strerror(written < 0 ? errno : EIO);
      return false;
    }
    data += written;
    offset += written;
    length -= static_cast<std::int32_t>(written);
  }
  return true;
}

// A file without a name, so that nothing is left behind however the process
// ends: O_TMPFILE where the file system has it, else a name unlinked at once.
Handle CreateSpoolFile(std::string& reason) {
  const char* variable = std::getenv("TMPDIR");
  const std::string folder = variable != nullptr && variable[0] != '\0' ? variable : "/tmp";
  int handle = -1;
#ifdef O_TMPFILE
  handle = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
  const bool unsupported = handle < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
  if (handle < 0 && !unsupported) {
    reason = "cannot create a temporary file in " + folder + ": " + std::strerror(errno);
    return kNoHandle;
  }
#endif
  if (handle < 0) {
    std::string pattern = folder + "/d88spool-XXXXXX";
    handle = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (handle < 0) {
      reason = "cannot create a temporary file in " + folder + ": " + std::strerror(errno);
      return kNoHandle;
    }
    ::unlink(pattern.c_str());
  }
  return handle;
}

void CloseFile(Handle handle) { ::close(static_cast<int>(handle)); }

#endif

}  // namespace

ImageFile::~ImageFile() { Close(); }

bool ImageFile::Open(const char* path) {
  Close();
  if (path == nullptr) {
    openError_ = std::strerror(EINVAL);
    return false;
  }
  bool isStream = false;
  const Handle handle = OpenForReading(path, isStream, openError_);
  if (handle == kNoHandle) return false;
  if (isStream) {
    const Handle spool = CreateSpoolFile(streamProblem_);
    if (spool == kNoHandle) {
      openError_ = streamProblem_;
      CloseFile(handle);
      return false;
    }
    stream_ = handle;
    handle_ = spool;
    if (!spoolChunk_) spoolChunk_.reset(new std::uint8_t[kBufferSize]);
  } else {
    handle_ = handle;
  }
  // Left uninitialised on purpose: only pages that file bytes land in are
  // ever touched.
  if (!buffer_) buffer_.reset(new std::uint8_t[kBufferSize]);
  return true;
}

void ImageFile::Close() {
  if (handle_ != kNoHandle) CloseFile(handle_);
  if (stream_ != kNoHandle) CloseFile(stream_);
  handle_ = kNoHandle;
  stream_ = kNoHandle;
  position_ = 0;
  bufferStart_ = 0;
  bufferLength_ = 0;
  spooled_ = 0;
  streamEnded_ = false;
  streamProblem_.clear();
  openError_.clear();
}

void ImageFile::SpoolUpTo(std::int64_t end) {
  while (spooled_ < end && !streamEnded_) {
    // Whole chunks, as far as the limit allows: a pipe gives what it holds.
    const std::int64_t room = streamLimit_ - spooled_;
    const std::int32_t wanted = room < kBufferSize ? static_cast<std::int32_t>(room) : kBufferSize;
    const std::int32_t got = wanted > 0 ? ReadNext(stream_, spoolChunk_.get(), wanted) : 0;
    std::string reason;
    if (got == 0 || !WriteAtOffset(handle_, spooled_, spoolChunk_.get(), got, reason)) {
      streamEnded_ = true;
      if (!reason.empty()) streamProblem_ = "cannot copy the stream to a temporary file: " + reason;
      return;
    }
    spooled_ += got;
  }
}

void ImageFile::CheckPastStreamLimit() {
  SpoolUpTo(streamLimit_);
  if (streamEnded_ || spooled_ < streamLimit_) return;
  // One byte more tells a stream that goes on from one that ends right at
  // the limit; it is never used.
  if (ReadNext(stream_, spoolChunk_.get(), 1) > 0) {
    const bool wholeMebibytes = streamLimit_ % (1 << 20) == 0;
    streamProblem_ = "only the first " +
                     std::to_string(wholeMebibytes ? streamLimit_ >> 20 : streamLimit_) +
                     (wholeMebibytes ? " MiB" : " bytes") + " of a stream are read";
  }
  streamEnded_ = true;
}

std::int32_t ImageFile::ReadAt(std::int64_t offset, std::uint8_t* dest, std::int32_t length) {
  if (handle_ == kNoHandle || offset < 0 || length <= 0) return 0;
  if (IsStream()) {
    if (offset > streamLimit_ - length) CheckPastStreamLimit();
    SpoolUpTo(offset + length);
    if (offset >= spooled_) return 0;
    if (spooled_ - offset < length) length = static_cast<std::int32_t>(spooled_ - offset);
  }
  return ReadAtOffset(handle_, offset, dest, length);
}

bool ImageFile::Fill() {
  // A short read leaves the rest to the next fill rather than asking again
  // at once: for a regular file it nearly always means the end.
  bufferStart_ = position_;
  bufferLength_ = ReadAt(position_, buffer_.get(), kBufferSize);
  return bufferLength_ > 0;
}

std::int32_t ImageFile::Read(std::uint8_t* dest, std::int32_t length) {
  std::int32_t done = 0;
  while (done < length) {
    const std::int32_t wanted = length - done;
    if (PositionInBuffer()) {
      const std::int64_t available = bufferLength_ - BufferedFrom();
      const std::int32_t count = available < wanted ? static_cast<std::int32_t>(available) : wanted;
      std::memcpy(dest + done, buffer_.get() + BufferedFrom(), static_cast<std::size_t>(count));
      position_ += count;
      done += count;
    } else if (wanted >= kBufferSize) {
      // Large reads bypass the buffer instead of passing through it.
      const std::int32_t got = ReadAt(position_, dest + done, wanted);
      if (got == 0) break;
      position_ += got;
      done += got;
    } else if (!Fill()) {
      break;
    }
  }
  return done;
}

bool ImageFile::ReadExact(std::uint8_t* dest, std::int32_t length) {
  if (length <= 0 || !IsOpen()) return length == 0;
  const std::int64_t from = BufferedFrom();
  if (from >= 0 && from <= bufferLength_ - length) {
    std::memcpy(dest, buffer_.get() + from, static_cast<std::size_t>(length));
    position_ += length;
    return true;
  }
  std::int32_t done = 0;
  while (done < length) {
    const std::int32_t got = ReadAt(position_ + done, dest + done, length - done);
    if (got == 0) return false;
    done += got;
  }
  position_ += length;
  return true;
}

const std::uint8_t* ImageFile::FillAndReadRecord(std::int32_t length) {
  if (length <= 0 || length > kBufferSize) return nullptr;
  // The fill starts at the position, so the record starts the buffer.
  if (!Fill() || bufferLength_ < length) return nullptr;
  position_ += length;
  return buffer_.get();
}
