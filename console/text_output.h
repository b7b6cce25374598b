// Text output of the project's programs, readable where a person reads it
// and unchanged where a script does.
//
// The programs' Japanese text is Shift_JIS bytes. Written to a pipe or a
// file, or to a terminal whose character set is not UTF-8, those bytes go
// out as they are: scripts and stored logs rely on them. A terminal whose
// locale says UTF-8 gets the same text converted to UTF-8 (iconv), and a
// Windows console gets it through the console's Unicode output
// (WriteConsoleW), whatever its code page. Each stream decides for itself
// once, when its TextOutput is made.

#ifndef D88_CONSOLE_TEXT_OUTPUT_H_
#define D88_CONSOLE_TEXT_OUTPUT_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace console {

class TextOutput {
 public:
  enum class Sink {
    kBytes,              // a pipe, a file, a device: bytes as they are
    kUtf8Terminal,       // Shift_JIS converted to UTF-8
    kShiftJisTerminal,   // a terminal that shows Shift_JIS itself
    kOtherTerminal,      // a terminal in some other character set
    kWindowsConsole,     // UTF-16 through WriteConsoleW
  };

  explicit TextOutput(std::FILE* stream);
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  Sink sink() const { return sink_; }

  // Writes Shift_JIS text (ASCII is part of it). A byte that does not
  // convert shows as U+FFFD on a UTF-8 terminal.
  void WriteShiftJis(std::string_view text);

  // Writes text in the encoding of the command line, such as a path: as it
  // is, except on Windows, where the command line is taken as UTF-8 and goes
  // to a console as Unicode and elsewhere in the ANSI code page, as the
  // program's arguments came before.
  void WriteNative(std::string_view text);

  // Writes bytes that came from a file and may be anything, such as a disk
  // name, as Shift_JIS text (see EscapeShiftJis): nothing in them can move
  // the cursor, retitle the window or clear the screen.
  void WriteEscapedShiftJis(std::string_view bytes);

  // Writes text of the command line, such as a path, as WriteNative does,
  // with its control bytes escaped (see EscapeNative).
  void WriteEscapedNative(std::string_view text);

 private:
  std::FILE* stream_;
  Sink sink_ = Sink::kBytes;
  void* converter_ = nullptr;  // iconv_t to UTF-8, made on first use
};

// Shift_JIS text with every byte that is not part of a character written as
// "\xNN", and "\" and "\"" with a backslash before them. Characters are
// printable ASCII, half-width katakana and whole double-byte characters,
// or, with `asciiOnly`, printable ASCII alone.
std::string EscapeShiftJis(std::string_view bytes, bool asciiOnly);

// `text` with bytes below 0x20 and 0x7F written as "\xNN", and with
// `c1Too` also 0x80..0x9F, which a terminal in an 8-bit character set takes
// as controls.
std::string EscapeNative(std::string_view text, bool c1Too);

}  // namespace console

#endif  // D88_CONSOLE_TEXT_OUTPUT_H_
