// libFuzzer target: arbitrary bytes read as a message file (by both readers)
// and as a profile file, and every message read encoded and decoded. Checks
// in fuzzchecks.h.
#include "fuzz/fuzzchecks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString failure = fuzzchecks::checkDefinitions(data, size);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz_definitions: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
