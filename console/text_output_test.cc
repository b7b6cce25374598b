#include "console/text_output.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A UTF-8 terminal: a pseudo-terminal in raw mode under LANG=C.UTF-8, whose
// master side shows what reached it.
class Utf8TerminalTest : public testing::Test {
 protected:
  void SetUp() override {
    termios raw{};
    cfmakeraw(&raw);
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, &raw, nullptr), 0);
    stream_ = fdopen(slave_, "w");
    ASSERT_NE(stream_, nullptr);
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    setenv("LANG", "C.UTF-8", 1);
  }
  void TearDown() override {
    if (stream_ != nullptr) std::fclose(stream_);
    close(master_);
  }

  // The next `size` bytes that reached the terminal.
  std::string Shown(std::size_t size) {
    std::fflush(stream_);
    std::string text;
    while (text.size() < size) {
      char chunk[4096];
      const ssize_t got = read(master_, chunk, sizeof chunk);
      if (got <= 0) break;
      text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
  }

  int master_ = -1;
  int slave_ = -1;
  std::FILE* stream_ = nullptr;
};

TEST_F(Utf8TerminalTest, ShiftJisArrivesAsUtf8) {
  console::TextOutput output(stream_);
  ASSERT_EQ(output.sink(), console::TextOutput::Sink::kUtf8Terminal);
  std::string many;
  std::string manyShown;
  for (int i = 0; i < 1000; ++i) {  // longer than one round of conversion
    many += "\x82\xA0";
    manyShown += "あ";
  }
  const struct {
    const char* label;
    std::string shiftJis;
    std::string shown;
  } cases[] = {
      {"ASCII, backslash and tilde included", "a\\b~c\n", "a\\b~c\n"},
      {"kana, kanji and half-width kana", "\x82\xA0\x94\x46\xB1.", "あ認ｱ."},
      {"a byte that is no character", "x\x80y", "x\xEF\xBF\xBDy"},
      {"a lead byte at the end", "z\x82", "z\xEF\xBF\xBD"},
      {"a lead byte before a line end", "\x82\n", "\xEF\xBF\xBD\n"},
      {"many characters", many, manyShown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    output.WriteShiftJis(c.shiftJis);
    EXPECT_EQ(Shown(c.shown.size()), c.shown);
  }
}

TEST_F(Utf8TerminalTest, NativeTextIsWrittenAsItIs) {
  console::TextOutput output(stream_);
  const std::string path = "d88cut: ディスク\x82.d88\n";
  output.WriteNative(path);
  EXPECT_EQ(Shown(path.size()), path);
}

TEST(EscapeTest, ShiftJisKeepsCharactersAndEscapesEverythingElse) {
  const struct {
    const char* label;
    std::string bytes;
    std::string kept;       // where Shift_JIS may be shown
    std::string asciiOnly;  // on a terminal in some other character set
  } cases[] = {
      {"plain ASCII", "GAME A", "GAME A", "GAME A"},
      {"backslash and quote", "a\\b\"c", "a\\\\b\\\"c", "a\\\\b\\\"c"},
      {"control bytes", "\x1B]0;x\x07\x1B[2J\x7F\t", "\\x1B]0;x\\x07\\x1B[2J\\x7F\\x09",
       "\\x1B]0;x\\x07\\x1B[2J\\x7F\\x09"},
      {"kanji, kana with 0x5C as trail byte", "\x94\x46\x83\x5C\xB1", "\x94\x46\x83\x5C\xB1",
       "\\x94F\\x83\\\\\\xB1"},
      {"bytes of no character, CSI at the end", "\x80\xA0\xFD\x9B", "\\x80\\xA0\\xFD\\x9B",
       "\\x80\\xA0\\xFD\\x9B"},
      {"a lead byte before a control byte", "\x82\x1B[", "\\x82\\x1B[", "\\x82\\x1B["},
      {"a lead byte at the end", "ab\x82", "ab\\x82", "ab\\x82"},
      {"CSI as a lead byte with its trail byte", "\x9B\x40", "\x9B\x40", "\\x9B@"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(console::EscapeShiftJis(c.bytes, false), c.kept);
    EXPECT_EQ(console::EscapeShiftJis(c.bytes, true), c.asciiOnly);
  }
}

TEST(EscapeTest, NativeTextEscapesControls) {
  EXPECT_EQ(console::EscapeNative("dir/a\x1B[2Jb.d88", false), "dir/a\\x1B[2Jb.d88");
  EXPECT_EQ(console::EscapeNative("C:\\x\n\x7F", false), "C:\\x\\x0A\\x7F");
  EXPECT_EQ(console::EscapeNative("\xE3\x83\x87\x9B", false), "\xE3\x83\x87\x9B");
  EXPECT_EQ(console::EscapeNative("\xE3\x83\x87\x9B", true), "\xE3\\x83\\x87\\x9B");
}

TEST(TextOutputTest, PipesAndFilesGetTheBytes) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    console::TextOutput output(file);
    EXPECT_EQ(output.sink(), console::TextOutput::Sink::kBytes);
    output.WriteShiftJis("\x82\xA0\x80\n");
  }
  std::rewind(file);
  char bytes[8] = {};
  EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, file), 4u);
  EXPECT_EQ(std::string(bytes, 4), "\x82\xA0\x80\n");
  std::fclose(file);
}

}  // namespace
