// Parses arbitrary bytes as a profile, reads and sets a few keys, and checks that a round trip
// through text keeps both the values set and every line that was not set.
#include "ini_checks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const char* failure = tarn::fuzz::checkIniInput(input)) {
        std::fprintf(stderr, "fuzz_ini: %s\n", failure);
        std::abort();
    }
    return 0;
}
