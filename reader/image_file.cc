#include "reader/image_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int OpenForReading(const char* path) {
  int handle = -1;
  // _SH_DENYNO lets other programs keep reading and writing the image.
  if (_sopen_s(&handle, path, _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD) != 0) {
    return -1;
  }
  return handle;
}
bool SeekTo(int handle, std::int64_t offset) { return _lseeki64(handle, offset, SEEK_SET) == offset; }
long ReadSome(int handle, std::uint8_t* dest, std::int32_t length) {
  return _read(handle, dest, static_cast<unsigned>(length));
}
void CloseHandle(int handle) { _close(handle); }
#else
int OpenForReading(const char* path) {
  int handle;
  do {
    handle = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (handle < 0 && errno == EINTR);
  // A directory opens for reading here but has no bytes to give: it is not
  // an image file.
  struct stat status;
  if (handle >= 0 && (::fstat(handle, &status) != 0 || S_ISDIR(status.st_mode))) {
    ::close(handle);
    return -1;
  }
  return handle;
}
bool SeekTo(int handle, std::int64_t offset) {
  return ::lseek(handle, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}
long ReadSome(int handle, std::uint8_t* dest, std::int32_t length) {
  ssize_t got;
  do {
    got = ::read(handle, dest, static_cast<std::size_t>(length));
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}
void CloseHandle(int handle) { ::close(handle); }
#endif

}  // namespace

ImageFile::~ImageFile() { Close(); }

bool ImageFile::Open(const char* path) {
  Close();
  if (path == nullptr) return false;
  const int handle = OpenForReading(path);
  if (handle < 0) return false;
  // Left uninitialised on purpose: only pages that file bytes land in are
  // ever touched.
  if (!buffer_) buffer_.reset(new std::uint8_t[kBufferSize]);
  handle_ = handle;
  osPosition_ = 0;
  return true;
}

void ImageFile::Close() {
  if (handle_ >= 0) CloseHandle(handle_);
  handle_ = -1;
  position_ = 0;
  osPosition_ = -1;
  bufferStart_ = 0;
  bufferLength_ = 0;
}

std::int32_t ImageFile::ReadAt(std::int64_t offset, std::uint8_t* dest, std::int32_t length) {
  if (handle_ < 0 || offset < 0 || length <= 0) return 0;
  if (osPosition_ != offset) {
    if (!SeekTo(handle_, offset)) {
      osPosition_ = -1;
      return 0;
    }
    osPosition_ = offset;
  }
  const long got = ReadSome(handle_, dest, length);
  if (got <= 0) return 0;
  osPosition_ += got;
  return static_cast<std::int32_t>(got);
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

const std::uint8_t* ImageFile::FillAndReadRecord(std::int32_t length) {
  if (length <= 0 || length > kBufferSize) return nullptr;
  // The fill starts at the position, so the record starts the buffer.
  if (!Fill() || bufferLength_ < length) return nullptr;
  position_ += length;
  return buffer_.get();
}
