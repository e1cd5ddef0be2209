#pragma once

#include <cstdio>
#include <cstdlib>

// A condition that only a programming error can break (key, nonce or digest sizes handed to
// a primitive, an index into a table). Unlike assert() it stops the program in every build.
#define OMBRIX_PRECONDITION(cond, message)                                                                   \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "Ombrix precondition failed: %s (%s:%d)\n", (message), __FILE__, __LINE__); \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
