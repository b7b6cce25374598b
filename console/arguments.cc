#include "console/arguments.h"

#ifdef _WIN32

#include <windows.h>

namespace console {
namespace {

std::string ToUtf8(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();  // the terminator
  return text;
}

}  // namespace

Utf8Arguments::Utf8Arguments(int argc, const wchar_t* const* argv) {
  for (int i = 0; i < argc && argv[i] != nullptr; ++i) storage_.push_back(ToUtf8(argv[i]));
  for (const std::string& argument : storage_) pointers_.push_back(argument.c_str());
  pointers_.push_back(nullptr);
}

}  // namespace console

#endif  // _WIN32
