#include <cstdio>

#include "console/arguments.h"
#include "tool/driver.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  const console::Utf8Arguments arguments(argc, argv);
  return RunD88Cut(arguments.count(), arguments.values(), stdout, stderr);
}
#else
int main(int argc, char** argv) { return RunD88Cut(argc, argv, stdout, stderr); }
#endif
