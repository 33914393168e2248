// One libFuzzer target per check: arbitrary bytes through what must hold whatever arrives, the
// response decoder's chunks (TARN_FUZZ_CHECK=checkDecoder) or a profile (checkIni).
#include "decoder_checks.h"
#include "ini_checks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const char* failure = tarn::fuzz::TARN_FUZZ_CHECK(input)) {
        std::fprintf(stderr, "fuzz: %s\n", failure);
        std::abort();
    }
    return 0;
}
