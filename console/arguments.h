// The command line taken as Unicode on Windows.
//
// The C runtime's narrow argv holds the arguments in the ANSI code page, in
// which most Japanese file names cannot be written. The programs take the
// wide command line (wmain) and go on with UTF-8, which is what the image
// reader opens on Windows and what TextOutput::WriteNative writes. POSIX
// programs use argv as it is.

#ifndef D88_CONSOLE_ARGUMENTS_H_
#define D88_CONSOLE_ARGUMENTS_H_

#ifdef _WIN32

#include <string>
#include <vector>

namespace console {

class Utf8Arguments {
 public:
  Utf8Arguments(int argc, const wchar_t* const* argv);
  int count() const { return static_cast<int>(storage_.size()); }
  // Null-terminated, as argv is.
  const char* const* values() const { return pointers_.data(); }

 private:
  std::vector<std::string> storage_;
  std::vector<const char*> pointers_;
};

}  // namespace console

#endif  // _WIN32

#endif  // D88_CONSOLE_ARGUMENTS_H_
