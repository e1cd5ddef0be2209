#pragma once

#include <benchmark/benchmark.h>
#include <expat.h>
#include <zlib.h>

#include <stdexcept>

#include "OmbrixCore/Foundation/Bytes.h"

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

// zlib on its own, on one thread, in one call each way: the floor of compressing and expanding
// the payload. Raw DEFLATE (the gzip framing costs a CRC, which the readers pay besides).
inline Bytes zlibDeflate(const Bytes& data, int level = Z_DEFAULT_COMPRESSION) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib");
    Bytes out(deflateBound(&s, static_cast<uLong>(data.size())));
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&s, Z_FINISH);
    out.resize(out.size() - s.avail_out);
    deflateEnd(&s);
    if (status != Z_STREAM_END) throw std::runtime_error("zlib deflate");
    return out;
}

inline Bytes zlibInflate(const Bytes& raw, std::size_t size) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) throw std::runtime_error("zlib");
    Bytes out(size);
    s.next_in = const_cast<Bytef*>(raw.data());
    s.avail_in = static_cast<uInt>(raw.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&s, Z_FINISH);
    inflateEnd(&s);
    if (status != Z_STREAM_END) throw std::runtime_error("zlib inflate");
    return out;
}
