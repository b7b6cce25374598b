#include "console/text_output.h"

#include <algorithm>
#include <cerrno>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>
#endif

namespace console {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void WriteBytes(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

#ifdef _WIN32

constexpr UINT kShiftJisCodePage = 932;

HANDLE ConsoleOf(std::FILE* stream) {
  const int descriptor = _fileno(stream);
  if (descriptor < 0) return nullptr;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
  return handle;
}

std::wstring Widen(UINT codePage, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string ToAnsiCodePage(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

// Lines end in CR LF on the console, as the C runtime's text mode writes
// them everywhere else.
void WriteConsoleText(HANDLE console, std::FILE* stream, const std::wstring& text) {
  std::wstring lines;
  for (const wchar_t c : text) {
    if (c == L'\n') lines.push_back(L'\r');
    lines.push_back(c);
  }
  // Whatever went through the C runtime's buffer comes first.
  std::fflush(stream);
  DWORD written = 0;
  WriteConsoleW(console, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

#else

TextOutput::Sink TerminalSink(std::FILE* stream) {
  const int descriptor = fileno(stream);
  if (descriptor < 0 || !isatty(descriptor)) return TextOutput::Sink::kBytes;
  // The environment's character set, without touching the process's locale.
  const locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return TextOutput::Sink::kOtherTerminal;
  std::string codeset;
  for (const char* c = nl_langinfo_l(CODESET, locale); *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') {
      codeset.push_back(static_cast<char>(*c - 'a' + 'A'));
    } else if (*c != '-' && *c != '_') {
      codeset.push_back(*c);
    }
  }
  freelocale(locale);
  if (codeset == "UTF8") return TextOutput::Sink::kUtf8Terminal;
  if (codeset == "SHIFTJIS" || codeset == "SJIS" || codeset == "CP932" ||
      codeset == "WINDOWS31J" || codeset == "MS932") {
    return TextOutput::Sink::kShiftJisTerminal;
  }
  return TextOutput::Sink::kOtherTerminal;
}

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

void WriteConverted(iconv_t converter, std::FILE* stream, std::string_view text) {
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char out[1024];
  while (inLeft > 0) {
    char* next = out;
    std::size_t outLeft = sizeof out;
    const std::size_t result = iconv(converter, &in, &inLeft, &next, &outLeft);
    std::fwrite(out, 1, static_cast<std::size_t>(next - out), stream);
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // A byte that is not Shift_JIS, or a lead byte with nothing after it.
    std::fputs(kReplacementCharacter, stream);
    ++in;
    --inLeft;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
}

#endif

}  // namespace

TextOutput::TextOutput(std::FILE* stream) : stream_(stream) {
#ifdef _WIN32
  if (ConsoleOf(stream) != nullptr) sink_ = Sink::kWindowsConsole;
#else
  sink_ = TerminalSink(stream);
#endif
}

TextOutput::~TextOutput() {
#ifndef _WIN32
  if (converter_ != nullptr) iconv_close(static_cast<iconv_t>(converter_));
#endif
}

void TextOutput::WriteShiftJis(std::string_view text) {
#ifdef _WIN32
  if (sink_ == Sink::kWindowsConsole) {
    WriteConsoleText(ConsoleOf(stream_), stream_, Widen(kShiftJisCodePage, text));
    return;
  }
#else
  if (sink_ == Sink::kUtf8Terminal && !IsAscii(text)) {
    if (converter_ == nullptr) {
      // CP932, not SHIFT_JIS: glibc's SHIFT_JIS turns \ and ~ into yen and
      // overline signs.
      const iconv_t converter = iconv_open("UTF-8", "CP932");
      if (converter != reinterpret_cast<iconv_t>(-1)) converter_ = converter;
    }
    if (converter_ != nullptr) {
      WriteConverted(static_cast<iconv_t>(converter_), stream_, text);
      return;
    }
  }
#endif
  WriteBytes(stream_, text);
}

void TextOutput::WriteNative(std::string_view text) {
#ifdef _WIN32
  if (sink_ == Sink::kWindowsConsole) {
    WriteConsoleText(ConsoleOf(stream_), stream_, Widen(CP_UTF8, text));
    return;
  }
  if (!IsAscii(text)) {
    WriteBytes(stream_, ToAnsiCodePage(Widen(CP_UTF8, text)));
    return;
  }
#endif
  WriteBytes(stream_, text);
}

void TextOutput::WriteEscapedShiftJis(std::string_view bytes) {
  // A terminal in some other character set may take bytes of a Shift_JIS
  // character, such as 0x9B, as the start of a control sequence.
  WriteShiftJis(EscapeShiftJis(bytes, sink_ == Sink::kOtherTerminal));
}

void TextOutput::WriteEscapedNative(std::string_view text) {
  WriteNative(EscapeNative(text, sink_ == Sink::kOtherTerminal));
}

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char byte) {
  out += "\\x";
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0xF]);
}

bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }
bool IsHalfWidthKana(unsigned char byte) { return byte >= 0xA1 && byte <= 0xDF; }

}  // namespace

std::string EscapeShiftJis(std::string_view bytes, bool asciiOnly) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\\' || byte == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(byte));
    } else if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(static_cast<char>(byte));
    } else if (!asciiOnly && IsHalfWidthKana(byte)) {
      out.push_back(static_cast<char>(byte));
    } else if (!asciiOnly && IsLeadByte(byte) && i + 1 < bytes.size() &&
               IsTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
      out.append(bytes.substr(i, 2));
      ++i;
    } else {
      AppendEscaped(out, byte);
    }
  }
  return out;
}

std::string EscapeNative(std::string_view text, bool c1Too) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (c1Too && byte >= 0x80 && byte <= 0x9F)) {
      AppendEscaped(out, byte);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace console
