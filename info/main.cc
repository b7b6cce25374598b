#include <cstdio>

#include "console/arguments.h"
#include "info/d88info.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  const console::Utf8Arguments arguments(argc, argv);
  return RunD88Info(arguments.count(), arguments.values(), stdout, stderr);
}
#else
int main(int argc, char** argv) { return RunD88Info(argc, argv, stdout, stderr); }
#endif
