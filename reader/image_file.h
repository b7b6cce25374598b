// Read-only access to an image file through one fixed buffer.
//
// The D88 reader walks sector records by seeking forward over their data and
// back to a track's start for every sector it reads. Seeks here only move a
// position; the operating system is asked for bytes only when a read falls
// outside the buffer, so walking records that sit in the buffer costs no
// system call. This is also the one place that talks to the platform's file
// API.

#ifndef D88_READER_IMAGE_FILE_H_
#define D88_READER_IMAGE_FILE_H_

#include <cstdint>
#include <memory>

class ImageFile {
 public:
  // Bytes held by the buffer; also the longest record `ReadRecord` serves.
  static constexpr std::int32_t kBufferSize = 64 * 1024;

  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens `path` for reading, shared with other readers and writers.
  // Closes a file held before. The buffer is allocated once per object.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return handle_ >= 0; }

  // Positions are offsets from the file start; seeking past the end is
  // allowed and makes later reads yield nothing.
  void Seek(std::int64_t offset) { position_ = offset; }
  void Skip(std::int64_t delta) { position_ += delta; }
  std::int64_t Position() const { return position_; }

  // Copies up to `length` bytes at the position into `dest` and moves past
  // them. Returns how many arrived; `dest` beyond that is left untouched.
  std::int32_t Read(std::uint8_t* dest, std::int32_t length);

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
  // ReadRecord for a record that is not wholly in the buffer.
  const std::uint8_t* FillAndReadRecord(std::int32_t length);
  // Refills the buffer with the bytes at the position; false if none arrived.
  bool Fill();
  // One read of the platform at `offset`; returns the bytes that arrived.
  std::int32_t ReadAt(std::int64_t offset, std::uint8_t* dest, std::int32_t length);
  std::int64_t BufferedFrom() const { return position_ - bufferStart_; }
  bool PositionInBuffer() const {
    return position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_;
  }

  int handle_ = -1;
  std::int64_t position_ = 0;
  std::int64_t osPosition_ = -1;  // where the platform's file position is
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::int64_t bufferStart_ = 0;
  std::int32_t bufferLength_ = 0;
};

#endif  // D88_READER_IMAGE_FILE_H_
