// Feeds arbitrary chunks to the response decoder, with and without the test-space echo, and
// checks what must hold whatever arrives on the line.
#include "decoder_checks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray chunk(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const char* failure = tarn::fuzz::checkDecoderChunk(chunk)) {
        std::fprintf(stderr, "fuzz_decoder: %s\n", failure);
        std::abort();
    }
    return 0;
}
