// Random access to the disk images of one D88 file.
//
// Open indexes the images of a file; SelectDisk makes one of them current;
// the reads find sectors of the current image by track index and sector ID.
// Failures are reported by results alone: false, or a byte count of 0.
// Nothing is cached between reads: every sector read walks its track from
// the first record, through ImageFile's buffer.

#ifndef D88_READER_D88_READER_H_
#define D88_READER_D88_READER_H_

#include <cstdint>

#include "reader/d88_format.h"
#include "reader/image_file.h"

class D88Reader {
 public:
  D88Reader() = default;
  D88Reader(const D88Reader&) = delete;
  D88Reader& operator=(const D88Reader&) = delete;
  ~D88Reader() = default;  // closes the file through ImageFile

  // Opens a D88 file and indexes up to d88::kMaxDisks images; closes a file
  // held before. True also when the file holds no image. A null path only
  // closes the file and yields true.
  bool Open(const char* path);
  std::int32_t GetDiskCount() const { return diskCount_; }

  // Sector numbers that start and end a track when a run steps on.
  void SetSectorRange(std::int32_t first, std::int32_t last);

  // Makes image `index` (0-based, file order) the selected disk. On failure
  // no disk is selected and every read yields 0.
  bool SelectDisk(std::int32_t index);
  const char* GetDiskName() const { return diskName_; }
  std::int32_t GetMediaType() const { return mediaType_; }
  // The selected disk's write-protect byte (0..255), or -1.
  std::int32_t GetWriteProtect() const { return writeProtect_; }
  // File offset and disk size of the selected disk; -1 and 0 when none.
  std::int32_t GetDiskStart() const { return diskStart_; }
  std::int32_t GetDiskSize() const { return diskSize_; }
  // True if the selected disk's track table entry for `track` leads to
  // records: not 0, not negative, not past the disk size.
  bool HasTrack(std::int32_t track) const;

  // Why the last Open of a path failed, in the system's words; "" after one
  // that succeeded.
  const char* GetOpenError() const { return file_.OpenError().c_str(); }

  // A path that cannot be read at any position (a pipe) is read through a
  // temporary copy of its bytes, at most ImageFile::kStreamLimit of them.
  // What of such a stream was not read and why, as a line for people:
  // the copy could not be made (Open then fails) or written, or the stream
  // went on past the limit. "" when nothing was left unread.
  const char* GetStreamProblem() const { return file_.StreamProblem().c_str(); }

  // Reads the first sector of `track` whose ID is (c, h, r, n) into `dest`,
  // at most `maxLength` bytes. Returns the bytes that arrived: below
  // maxLength when the sector is shorter or the file ends inside it; 0 when
  // there is no such sector.
  std::int32_t ReadSector(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                          std::int32_t n, std::uint8_t* dest, std::int32_t maxLength);

  // Reads `total` bytes of consecutive sectors from (c, h, r, n) on, going on
  // to the next track (and head, then cylinder) after the last sector number.
  // Returns the bytes of the whole sectors, or final part sector, delivered
  // before a missing or short one.
  std::int32_t ReadSectors(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
                           std::int32_t n, std::uint8_t* dest, std::int32_t total);

  // Lists the C, H, R, N of the records of `track` in stored order, four
  // bytes each, as many as fit in `length`. Returns the bytes written.
  std::int32_t ReadSectorIds(std::int32_t track, std::uint8_t* buf, std::int32_t length);

 private:
  void ResetSelection();
  // Seeks to the first record of `track` of the selected disk; false when
  // no disk is selected or the track is absent.
  bool SeekTrack(std::int32_t track);

  ImageFile file_;
  std::int32_t diskCount_ = 0;
  std::int32_t firstSector_ = 1;
  std::int32_t lastSector_ = 16;
  std::int32_t diskStarts_[d88::kMaxDisks] = {};
  std::int32_t diskSize_ = 0;
  std::int32_t diskStart_ = -1;  // -1: no disk selected
  std::int32_t trackTable_[d88::kTrackCount] = {};
  std::int32_t mediaType_ = -1;
  std::int32_t writeProtect_ = -1;
  char diskName_[d88::kNameLength + 1] = {};
};

#endif  // D88_READER_D88_READER_H_
