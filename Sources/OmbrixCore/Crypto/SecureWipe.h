#pragma once

#include <cstddef>

#include "OmbrixCore/Foundation/Bytes.h"

// Overwrites memory with zeros in a way the compiler may not remove, even when nothing reads
// the memory afterwards (secrets about to be freed).
void secureWipe(void* data, std::size_t size);

inline void secureWipe(Bytes& bytes) {
    secureWipe(bytes.data(), bytes.size());
}
