// libFuzzer target: definitions and editor contents made from the bytes,
// through encoding, validation, frame building and output formatting.
// Checks in fuzzchecks.h.
#include "fuzz/fuzzchecks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString failure = fuzzchecks::checkEncoding(data, size);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz_encoding: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
