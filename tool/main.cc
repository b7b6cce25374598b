#include <cstdio>

#include "tool/driver.h"

int main(int argc, char** argv) { return RunD88Cut(argc, argv, stdout, stderr); }
