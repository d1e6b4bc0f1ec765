// libFuzzer driver: RASMIK_FUZZ_ENTRY names the target's entry point.

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    rasmik::fuzz::CapSlowInputs = true;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return rasmik::fuzz::RASMIK_FUZZ_ENTRY(data, size);
}
