// Helpers shared by the fuzz targets.

#ifndef D88_FUZZ_FUZZ_SUPPORT_H_
#define D88_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace fuzz {

// Aborts with `what` on standard error unless `holds`: libFuzzer then keeps
// the input as a crash.
void Check(bool holds, const char* what);

// A directory of this process, made on first use under the system's
// temporary directory and removed with everything in it at exit.
const std::filesystem::path& PrivateDir();

// Writes the input to a file in PrivateDir(), replacing the one before, and
// returns its path: the reader only opens paths.
const char* WriteInput(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

#endif  // D88_FUZZ_FUZZ_SUPPORT_H_
