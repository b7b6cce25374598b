#include "reader/d88_reader.h"

#include <gtest/gtest.h>
