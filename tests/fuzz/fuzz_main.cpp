// A libFuzzer entry point for one target, chosen at build time (QUARNELO_FUZZ_TARGET).
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzTargets::QUARNELO_FUZZ_TARGET(data, size);
    return 0;
}
