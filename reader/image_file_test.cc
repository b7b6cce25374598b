#include "reader/image_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "d88gen/image_builder.h"
#include "tests/test_files.h"

namespace {

std::vector<std::uint8_t> Counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

TEST(ImageFileTest, ReadsAnyStretchAsInTheFile) {
  d88test::ScratchDir dir;
  const std::size_t size = 3 * ImageFile::kBufferSize + 123;
  const std::vector<std::uint8_t> bytes = Counting(size);
  d88test::WriteFile(dir / "f", bytes);
  ImageFile file;
  ASSERT_TRUE(file.Open((dir / "f").string().c_str()));

  // Stretches inside the buffer, across its end, longer than it, and past
  // the end of the file.
  const std::int64_t k = ImageFile::kBufferSize;
  const struct {
    std::int64_t offset;
    std::int32_t length;
  } cases[] = {{0, 16},        {10, 100},          {k - 8, 16},        {k - 1, 1},
               {5, static_cast<std::int32_t>(2 * k)}, {k + 3, static_cast<std::int32_t>(k)},
               {static_cast<std::int64_t>(size) - 10, 50}, {static_cast<std::int64_t>(size), 1},
               {static_cast<std::int64_t>(size) + 100, 4}, {0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
    std::vector<std::uint8_t> dest(static_cast<std::size_t>(c.length) + 8, 0xEE);
    file.Seek(c.offset);
    const std::int32_t got = file.Read(dest.data(), c.length);
    const std::int64_t available = static_cast<std::int64_t>(size) - c.offset;
    const std::int64_t expected = available < 0 ? 0 : (available < c.length ? available : c.length);
    ASSERT_EQ(got, expected);
    EXPECT_EQ(file.Position(), c.offset + got);
    for (std::int32_t i = 0; i < got; ++i) {
      ASSERT_EQ(dest[static_cast<std::size_t>(i)], bytes[static_cast<std::size_t>(c.offset + i)]) << i;
    }
    for (std::size_t i = static_cast<std::size_t>(got); i < dest.size(); ++i) ASSERT_EQ(dest[i], 0xEE);
  }
}

TEST(ImageFileTest, ReadRecordNeedsEveryByte) {
  d88test::ScratchDir dir;
  const std::vector<std::uint8_t> bytes = Counting(ImageFile::kBufferSize + 40);
  d88test::WriteFile(dir / "f", bytes);
  ImageFile file;
  ASSERT_TRUE(file.Open((dir / "f").string().c_str()));

  file.Seek(ImageFile::kBufferSize - 4);  // straddles the first buffer's end
  const std::uint8_t* record = file.ReadRecord(16);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record[0], bytes[ImageFile::kBufferSize - 4]);
  EXPECT_EQ(record[15], bytes[ImageFile::kBufferSize + 11]);

  file.Seek(static_cast<std::int64_t>(bytes.size()) - 15);
  EXPECT_EQ(file.ReadRecord(16), nullptr);
  file.Seek(static_cast<std::int64_t>(bytes.size()) - 16);
  EXPECT_NE(file.ReadRecord(16), nullptr);
  EXPECT_EQ(file.ReadRecord(ImageFile::kBufferSize + 1), nullptr);
}

TEST(ImageFileTest, OpenFailsForMissingFileDirectoryAndNull) {
  d88test::ScratchDir dir;
  ImageFile file;
  EXPECT_FALSE(file.Open((dir / "missing").string().c_str()));
  EXPECT_FALSE(file.Open(dir.path().string().c_str()));
  EXPECT_FALSE(file.Open(nullptr));
  EXPECT_FALSE(file.IsOpen());
  std::uint8_t byte = 0;
  EXPECT_EQ(file.Read(&byte, 1), 0);
}

}  // namespace
