#include "reader/image_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "d88gen/image_builder.h"
#include "tests/test_files.h"
#ifndef _WIN32
#include "tests/child_process.h"
#endif

namespace {

std::vector<std::uint8_t> Counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

// Reads stretches inside the buffer, across its end, longer than it, and
// past the end of the file, each as ReadExact and as Read, and checks them
// against `bytes`.
void ExpectStretchesOf(ImageFile& file, const std::vector<std::uint8_t>& bytes) {
  const std::int64_t size = static_cast<std::int64_t>(bytes.size());
  const std::int64_t k = ImageFile::kBufferSize;
  const struct {
    std::int64_t offset;
    std::int32_t length;
  } cases[] = {{0, 16},        {10, 100},          {k - 8, 16},        {k - 1, 1},
               {5, static_cast<std::int32_t>(2 * k)}, {k + 3, static_cast<std::int32_t>(k)},
               {size - 10, 50}, {size, 1}, {size + 100, 4}, {0, 0}, {2 * k + 7, 688}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
    const std::int64_t available = size - c.offset;
    const std::int64_t expected = available < 0 ? 0 : (available < c.length ? available : c.length);

    std::vector<std::uint8_t> exact(static_cast<std::size_t>(c.length));
    file.Seek(c.offset);
    ASSERT_EQ(file.ReadExact(exact.data(), c.length), expected == c.length);
    if (expected == c.length) {
      EXPECT_EQ(file.Position(), c.offset + c.length);
      EXPECT_TRUE(std::equal(exact.begin(), exact.end(), bytes.begin() + c.offset));
    }

    std::vector<std::uint8_t> dest(static_cast<std::size_t>(c.length) + 8, 0xEE);
    file.Seek(c.offset);
    const std::int32_t got = file.Read(dest.data(), c.length);
    ASSERT_EQ(got, expected);
    EXPECT_EQ(file.Position(), c.offset + got);
    for (std::int32_t i = 0; i < got; ++i) {
      ASSERT_EQ(dest[static_cast<std::size_t>(i)], bytes[static_cast<std::size_t>(c.offset + i)]) << i;
    }
    for (std::size_t i = static_cast<std::size_t>(got); i < dest.size(); ++i) ASSERT_EQ(dest[i], 0xEE);
  }
}

const std::vector<std::uint8_t> kThreeBuffersAndABit = Counting(3 * ImageFile::kBufferSize + 123);

TEST(ImageFileTest, ReadsAnyStretchAsInTheFile) {
  d88test::ScratchDir dir;
  d88test::WriteFile(dir / "f", kThreeBuffersAndABit);
  ImageFile file;
  ASSERT_TRUE(file.Open((dir / "f").string().c_str()));
  ExpectStretchesOf(file, kThreeBuffersAndABit);
  EXPECT_EQ(file.StreamProblem(), "");
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
  // The system's own words, which on Windows are its own messages.
  EXPECT_FALSE(file.Open((dir / "missing").string().c_str()));
#ifdef _WIN32
  EXPECT_NE(file.OpenError(), "");
#else
  EXPECT_EQ(file.OpenError(), std::strerror(ENOENT));
#endif
  EXPECT_FALSE(file.Open(dir.path().string().c_str()));
#ifdef _WIN32
  EXPECT_NE(file.OpenError(), "");
#else
  EXPECT_EQ(file.OpenError(), std::strerror(EISDIR));
#endif
  EXPECT_FALSE(file.Open(nullptr));
  EXPECT_FALSE(file.IsOpen());
  std::uint8_t byte = 0;
  EXPECT_EQ(file.Read(&byte, 1), 0);
}

// --- Streams ------------------------------------------------------------------

#ifdef _WIN32

// A named pipe that serves `bytes` to the first client, from a thread.
class NamedPipeServer {
 public:
  explicit NamedPipeServer(const std::vector<std::uint8_t>& bytes)
      : name_(L"\\\\.\\pipe\\d88reader-test-" + std::to_wstring(GetCurrentProcessId())) {
    pipe_ = CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                             64 * 1024, 64 * 1024, 0, nullptr);
    writer_ = std::thread([this, &bytes] {
      if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
      std::size_t done = 0;
      while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(pipe_, bytes.data() + done, chunk, &written, nullptr)) break;
        done += written;
      }
      FlushFileBuffers(pipe_);
      DisconnectNamedPipe(pipe_);
    });
  }
  ~NamedPipeServer() {
    writer_.join();
    CloseHandle(pipe_);
  }
  std::string path() const { return std::string(name_.begin(), name_.end()); }

 private:
  std::wstring name_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  std::thread writer_;
};

TEST(ImageFileStreamTest, ReadsAnyStretchAsTheFileDoes) {
  const NamedPipeServer server(kThreeBuffersAndABit);
  ImageFile file;
  ASSERT_TRUE(file.Open(server.path().c_str()));
  ExpectStretchesOf(file, kThreeBuffersAndABit);
  EXPECT_EQ(file.StreamProblem(), "");
  file.Close();
}

#else

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ImageFileStreamTest : public testing::Test {
 protected:
  d88test::ScratchDir temporary_;
  ScopedVariable tmpdir_{"TMPDIR", temporary_.path().string()};
};

TEST_F(ImageFileStreamTest, ReadsAnyStretchAsTheFileDoes) {
  const d88test::PipeFeeder feeder(kThreeBuffersAndABit);
  ImageFile file;
  ASSERT_TRUE(file.Open(feeder.DevFdPath().c_str()));
  ExpectStretchesOf(file, kThreeBuffersAndABit);
  EXPECT_EQ(file.StreamProblem(), "");
  // The copy has no name, not even while it is read.
  EXPECT_TRUE(std::filesystem::is_empty(temporary_.path()));
}

TEST_F(ImageFileStreamTest, ReadsEndAtTheLimit) {
  constexpr std::int32_t kLimit = 100000;
  const struct {
    const char* label;
    std::size_t size;
    bool endless;
    bool limitReached;
  } cases[] = {
      {"one byte short of the limit", kLimit - 1, false, false},
      {"exactly the limit", kLimit, false, false},
      {"one byte past the limit", kLimit + 1, false, true},
      {"endless", kLimit, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<std::uint8_t> bytes = Counting(c.size);
    const d88test::PipeFeeder feeder(bytes, c.endless);
    ImageFile file;
    file.SetStreamLimit(kLimit);
    ASSERT_TRUE(file.Open(feeder.DevFdPath().c_str()));
    std::vector<std::uint8_t> dest(20);
    file.Seek(kLimit - 10);
    const std::int32_t got = file.Read(dest.data(), 20);
    EXPECT_EQ(got, std::min<std::int64_t>(10, static_cast<std::int64_t>(c.size) - (kLimit - 10)));
    EXPECT_TRUE(std::equal(dest.begin(), dest.begin() + got, bytes.begin() + (kLimit - 10)));
    EXPECT_EQ(file.StreamProblem(), c.limitReached ? "only the first 100000 bytes of a stream are read" : "");
  }
}

TEST_F(ImageFileStreamTest, CopyThatCannotBeMadeFailsTheOpen) {
  const std::filesystem::path missing = temporary_ / "missing";
  const ScopedVariable tmpdir("TMPDIR", missing.string());
  const d88test::PipeFeeder feeder(kThreeBuffersAndABit);
  ImageFile file;
  EXPECT_FALSE(file.Open(feeder.DevFdPath().c_str()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.StreamProblem(), file.OpenError());
  EXPECT_EQ(file.OpenError(),
            "cannot create a temporary file in " + missing.string() + ": No such file or directory");
}

// A file size limit stands in for a full disk: the copy stops growing, and
// the stream reads as if it ended there.
TEST_F(ImageFileStreamTest, CopyThatCannotBeWrittenEndsTheStream) {
  constexpr rlim_t kFileLimit = 2 * ImageFile::kBufferSize;
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  const rlimit lowered{kFileLimit, previous.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);

  const d88test::PipeFeeder feeder(kThreeBuffersAndABit);
  ImageFile file;
  const bool opened = file.Open(feeder.DevFdPath().c_str());
  std::vector<std::uint8_t> dest(ImageFile::kBufferSize);
  file.Seek(static_cast<std::int64_t>(kFileLimit));
  const std::int32_t got = opened ? file.Read(dest.data(), 16) : -1;
  const std::string error = file.StreamProblem();

  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previousHandler);
  ASSERT_TRUE(opened);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(error, std::string("cannot copy the stream to a temporary file: ") + std::strerror(EFBIG));
  file.Seek(100);
  EXPECT_EQ(file.Read(dest.data(), 16), 16);  // what was copied stays readable
}

#endif

}  // namespace
