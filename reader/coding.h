// Little-endian integers of the D88 format, assembled byte by byte so that
// the result does not depend on the host's byte order.

#ifndef D88_READER_CODING_H_
#define D88_READER_CODING_H_

#include <cstdint>

namespace d88 {

inline std::uint16_t DecodeFixed16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(p[0]) |
                                    static_cast<std::uint16_t>(p[1] << 8));
}

inline std::uint32_t DecodeFixed32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

// A 32-bit field the format treats as signed (disk size, track offsets).
inline std::int32_t DecodeSigned32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(DecodeFixed32(p));
}

}  // namespace d88

#endif  // D88_READER_CODING_H_
