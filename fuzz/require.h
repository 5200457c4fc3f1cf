#pragma once

#include <cstdlib>

// A broken promise aborts, which is how a fuzzer learns that an input found a fault.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}
