// Read-only access to an image file through one fixed buffer.
//
// The D88 reader walks sector records by seeking forward over their data and
// back to a track's start for every sector it reads. Seeks here only move a
// position; the operating system is asked for bytes only when a read falls
// outside the buffer, and then with one positioned read (pread, or ReadFile
// at an offset on Windows), so walking records that sit in the buffer costs
// no system call and nothing ever seeks.
//
// A path that opens but cannot be read at a position (a pipe, a FIFO, a
// terminal) is a stream: its bytes are copied, only as far as reads reach,
// into an unlinked temporary file (under TMPDIR, else /tmp; on Windows a
// delete-on-close file in the temporary folder), which is then read like
// any image file. A stream is read no further than kStreamLimit; past that
// it reads as if the file ended there.
//
// This is the one place that talks to the platform's file API. On Windows
// paths are UTF-8.

#ifndef D88_READER_IMAGE_FILE_H_
#define D88_READER_IMAGE_FILE_H_

#include <cstdint>
#include <memory>
#include <string>

class ImageFile {
 public:
  // Bytes held by the buffer; also the longest record `ReadRecord` serves.
  static constexpr std::int32_t kBufferSize = 64 * 1024;
  // Far more than 64 images of the largest floppy disks.
  static constexpr std::int64_t kStreamLimit = std::int64_t{256} << 20;

  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens `path` for reading, shared with other readers and writers.
  // Closes a file held before. False also when `path` is a stream whose
  // temporary copy cannot be made; StreamProblem() then says so too.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return handle_ != kNoHandle; }

  // Why the last Open failed, in the system's words (UTF-8 on Windows);
  // empty after one that succeeded.
  const std::string& OpenError() const { return openError_; }
  // What of a stream was not read, and why; empty when nothing was left:
  // its temporary copy could not be made or written (it then reads as if it
  // ended there), or a read wanted bytes past the stream limit that the
  // stream really had ("only the first 256 MiB of a stream are read").
  const std::string& StreamProblem() const { return streamProblem_; }
  // For tests: how far a stream is read, in bytes, instead of kStreamLimit.
  void SetStreamLimit(std::int64_t bytes) { streamLimit_ = bytes; }

  // Positions are offsets from the file start; seeking past the end is
  // allowed and makes later reads yield nothing.
  void Seek(std::int64_t offset) { position_ = offset; }
  void Skip(std::int64_t delta) { position_ += delta; }
  std::int64_t Position() const { return position_; }

  // Copies up to `length` bytes at the position into `dest` and moves past
  // them. Returns how many arrived; `dest` beyond that is left untouched.
  std::int32_t Read(std::uint8_t* dest, std::int32_t length);

  // Copies exactly `length` bytes at the position into `dest` and moves past
  // them; false when the file ends first. Unlike Read, bytes that are not in
  // the buffer are read on their own, and the buffer keeps what it holds:
  // for records far apart that are each read once, such as image headers.
  bool ReadExact(std::uint8_t* dest, std::int32_t length);

  // Returns the `length` bytes at the position (length <= kBufferSize) as a
  // view into the buffer, valid until the next call, and moves past them;
  // nullptr when the file ends first.
  // Inline because a track walk calls it once per record: a record already in
  // the buffer costs a compare and an add, no call.
  const std::uint8_t* ReadRecord(std::int32_t length) {
    const std::int64_t from = position_ - bufferStart_;
    if (length > 0 && from >= 0 && from <= bufferLength_ - length) {
      position_ += length;
      return buffer_.get() + from;
    }
    return FillAndReadRecord(length);
  }

 private:
  // A file descriptor, or a Windows HANDLE.
  using Handle = std::intptr_t;
  static constexpr Handle kNoHandle = -1;

  // ReadRecord for a record that is not wholly in the buffer.
  const std::uint8_t* FillAndReadRecord(std::int32_t length);
  // Refills the buffer with the bytes at the position; false if none arrived.
  bool Fill();
  // Bytes at `offset`, from the file or from the stream's copy; returns how
  // many arrived, fewer than `length` only at the end.
  std::int32_t ReadAt(std::int64_t offset, std::uint8_t* dest, std::int32_t length);
  // Copies the stream into its temporary file up to `end`, or as far as the
  // stream goes.
  void SpoolUpTo(std::int64_t end);
  // Called when a read wants bytes past the stream limit: notes whether the
  // stream has any there.
  void CheckPastStreamLimit();
  bool IsStream() const { return stream_ != kNoHandle; }
  std::int64_t BufferedFrom() const { return position_ - bufferStart_; }
  bool PositionInBuffer() const {
    return position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_;
  }

  Handle handle_ = kNoHandle;  // the image file, or a stream's temporary copy
  std::int64_t position_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::int64_t bufferStart_ = 0;
  std::int32_t bufferLength_ = 0;

  Handle stream_ = kNoHandle;  // the stream being copied, if the path is one
  std::int64_t spooled_ = 0;   // bytes of the stream copied so far
  bool streamEnded_ = false;   // no more bytes will be copied
  std::int64_t streamLimit_ = kStreamLimit;
  std::unique_ptr<std::uint8_t[]> spoolChunk_;
  std::string streamProblem_;
  std::string openError_;
};

#endif  // D88_READER_IMAGE_FILE_H_
