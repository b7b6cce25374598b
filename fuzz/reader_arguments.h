// The arguments fuzz_reader takes from the last bytes of its input, and how
// seeds spell them.

#ifndef D88_FUZZ_READER_ARGUMENTS_H_
#define D88_FUZZ_READER_ARGUMENTS_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "reader/d88_format.h"

namespace fuzz {

// Arguments the input chooses.
struct Arguments {
  std::int32_t track = 0;
  std::int32_t c = 0;
  std::int32_t h = 0;
  std::int32_t r = 1;
  std::int32_t n = 1;
  std::int32_t maxLength = 0;  // ReadSector
  std::int32_t total = 0;      // ReadSectors
  std::int32_t idLength = 0;   // ReadSectorIds
  std::int32_t firstSector = 1;
  std::int32_t lastSector = 16;
  std::int32_t chosenDisk = 0;

  bool operator==(const Arguments&) const = default;
};

// Layout of the parameter bytes at the end of the input.
enum ParameterByte : std::size_t {
  kTrackByte,
  kCByte,
  kHByte,
  kRByte,
  kNByte,
  kOutOfByteFlags,
  kMaxLengthLow,
  kMaxLengthHigh,
  kTotalLow,
  kTotalHigh,
  kIdLengthLow,
  kIdLengthHigh,
  kFirstSectorByte,
  kLastSectorByte,
  kChosenDiskByte,
  kParameterBytes,
};

// Bits of kOutOfByteFlags: each puts one argument outside its usual range.
enum OutOfByteFlag : std::uint8_t {
  kCMinusOne = 1u << 0,
  kHPastByte = 1u << 1,
  kRMinusOne = 1u << 2,
  kNPastByte = 1u << 3,
  kMaxLengthNegative = 1u << 4,
  kTotalNegative = 1u << 5,
  kIdLengthNegative = 1u << 6,
};

// Track indexes from this far below 0 to as far past the table's end.
constexpr std::int32_t kTrackMargin = 6;
constexpr std::int32_t kPastByte = 0x100;

inline std::int32_t Word(const std::uint8_t* p, std::size_t low, std::size_t high) {
  return static_cast<std::int32_t>(p[low]) | (static_cast<std::int32_t>(p[high]) << 8);
}

inline Arguments ParseArguments(const std::uint8_t* data, std::size_t size) {
  Arguments arguments;
  if (size < kParameterBytes) return arguments;
  const std::uint8_t* p = data + size - kParameterBytes;
  const std::uint8_t flags = p[kOutOfByteFlags];
  arguments.track =
      static_cast<std::int32_t>(p[kTrackByte]) % (d88::kTrackCount + 2 * kTrackMargin) -
      kTrackMargin;
  arguments.c = (flags & kCMinusOne) ? -1 : p[kCByte];
  arguments.h = (flags & kHPastByte) ? kPastByte + p[kHByte] : p[kHByte];
  arguments.r = (flags & kRMinusOne) ? -1 : p[kRByte];
  arguments.n = (flags & kNPastByte) ? kPastByte + p[kNByte] : p[kNByte];
  arguments.maxLength = Word(p, kMaxLengthLow, kMaxLengthHigh);
  if (flags & kMaxLengthNegative) arguments.maxLength = -1 - arguments.maxLength;
  arguments.total = Word(p, kTotalLow, kTotalHigh);
  if (flags & kTotalNegative) arguments.total = -1 - arguments.total;
  arguments.idLength = Word(p, kIdLengthLow, kIdLengthHigh);
  if (flags & kIdLengthNegative) arguments.idLength = -1 - arguments.idLength;
  arguments.firstSector = static_cast<std::int8_t>(p[kFirstSectorByte]);
  arguments.lastSector = static_cast<std::int8_t>(p[kLastSectorByte]);
  arguments.chosenDisk = p[kChosenDiskByte];
  return arguments;
}

// The parameter bytes that ParseArguments reads back as `arguments`, for
// arguments within their usual ranges: a track index from -kTrackMargin on,
// c, h, r, n bytes, lengths 0..0xFFFF, sector numbers -128..127.
inline std::array<std::uint8_t, kParameterBytes> EncodeArguments(const Arguments& arguments) {
  std::array<std::uint8_t, kParameterBytes> p{};
  const auto byte = [](std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); };
  p[kTrackByte] = byte(arguments.track + kTrackMargin);
  p[kCByte] = byte(arguments.c);
  p[kHByte] = byte(arguments.h);
  p[kRByte] = byte(arguments.r);
  p[kNByte] = byte(arguments.n);
  p[kMaxLengthLow] = byte(arguments.maxLength);
  p[kMaxLengthHigh] = byte(arguments.maxLength >> 8);
  p[kTotalLow] = byte(arguments.total);
  p[kTotalHigh] = byte(arguments.total >> 8);
  p[kIdLengthLow] = byte(arguments.idLength);
  p[kIdLengthHigh] = byte(arguments.idLength >> 8);
  p[kFirstSectorByte] = byte(arguments.firstSector);
  p[kLastSectorByte] = byte(arguments.lastSector);
  p[kChosenDiskByte] = byte(arguments.chosenDisk);
  return p;
}

}  // namespace fuzz

#endif  // D88_FUZZ_READER_ARGUMENTS_H_
