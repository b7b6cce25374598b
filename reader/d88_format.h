// Layout of a D88 disk image file.
//
// A D88 file holds one or more disk images back to back. Each image starts
// with a fixed header; the header's disk size (header included) leads to the
// next image.
//
//   image header, kHeaderSize bytes:
//   +0x00  name, 17 bytes, NUL-padded (at most 16 characters are used)
//   +0x11  reserved, 9 bytes
//   +0x1A  write-protect flag, 1 byte
//   +0x1B  media type, 1 byte
//   +0x1C  disk size, 4 bytes LE: bytes of this image, header included
//   +0x20  track table, kTrackCount x 4 bytes LE: offset of each track's
//          first sector record from the image start; 0 = track absent
//
// A track is a chain of sector records, each a header followed directly by
// the sector's data:
//
//   sector header, kSectorHeaderSize bytes:
//   +0x00  C, H, R, N: the sector ID (cylinder, head, record, size code)
//   +0x04  number of sectors in this track, 2 bytes LE
//   +0x06  density, 1 byte
//   +0x07  deleted-data mark, 1 byte
//   +0x08  status, 1 byte
//   +0x09  reserved, 5 bytes
//   +0x0E  data size, 2 bytes LE: bytes of data after this header
//
// The next record starts at this record + kSectorHeaderSize + data size.

#ifndef D88_READER_D88_FORMAT_H_
#define D88_READER_D88_FORMAT_H_

#include <cstdint>

namespace d88 {

// File.
inline constexpr std::int32_t kMaxDisks = 64;

// Image header.
inline constexpr std::int32_t kHeaderSize = 0x2B0;
inline constexpr std::int32_t kNameOffset = 0x00;
inline constexpr std::int32_t kNameFieldSize = 17;
inline constexpr std::int32_t kNameLength = 16;  // characters kept of the name
inline constexpr std::int32_t kWriteProtectOffset = 0x1A;
inline constexpr std::int32_t kMediaTypeOffset = 0x1B;
inline constexpr std::int32_t kDiskSizeOffset = 0x1C;
inline constexpr std::int32_t kTrackTableOffset = 0x20;
inline constexpr std::int32_t kTrackCount = 164;
inline constexpr std::int32_t kTrackEntrySize = 4;

static_assert(kTrackTableOffset + kTrackCount * kTrackEntrySize == kHeaderSize,
              "the track table ends the image header");

// Sector header.
inline constexpr std::int32_t kSectorHeaderSize = 0x10;
inline constexpr std::int32_t kIdCOffset = 0x00;
inline constexpr std::int32_t kIdHOffset = 0x01;
inline constexpr std::int32_t kIdROffset = 0x02;
inline constexpr std::int32_t kIdNOffset = 0x03;
inline constexpr std::int32_t kSectorIdSize = 4;
inline constexpr std::int32_t kSectorCountOffset = 0x04;
inline constexpr std::int32_t kDensityOffset = 0x06;
inline constexpr std::int32_t kDeletedMarkOffset = 0x07;
inline constexpr std::int32_t kStatusOffset = 0x08;
inline constexpr std::int32_t kDataSizeOffset = 0x0E;

// Sector of size code n holds kSectorSizeBase << n bytes.
inline constexpr std::int32_t kSectorSizeBase = 128;

}  // namespace d88

#endif  // D88_READER_D88_FORMAT_H_
