// libFuzzer target: pasted frame text through cleaning, parsing and decoding
// against the bundled sample catalogue. The checks live in fuzzchecks.h.
#include "fuzz/fuzzchecks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Read the catalogue once, before the first input, so that no input pays
    // for file access and leak checking does not count the cached records.
    const auto &catalogue = fuzzchecks::SampleCatalogue::instance();
    if (catalogue.allMessages.isEmpty()) {
        std::fprintf(stderr, "no messages in %s/xml\n", KWN_SOURCE_DIR);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString failure = fuzzchecks::checkFrameText(data, size);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz_frametext: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
