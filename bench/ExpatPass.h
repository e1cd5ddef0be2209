#pragma once

#include <benchmark/benchmark.h>
#include <expat.h>

#include "OmbrixCore/Crypto/Bytes.h"

// expat's own pass over the XML with handlers that do nothing: the floor any reader of the
// payload stands on, measured beside ours.
inline void expatPass(const Bytes& xml) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetElementHandler(
        parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
    const auto status =
        XML_Parse(parser, reinterpret_cast<const char*>(xml.data()), static_cast<int>(xml.size()), 1);
    benchmark::DoNotOptimize(status);
    XML_ParserFree(parser);
}
