#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include <zlib.h>

#include "AllocationProbe.h"
#include "OmbrixCore/Compression/Gzip.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

// Failure output shows the error's text rather than its bytes.
void PrintTo(const Gzip::Error& error, std::ostream* out) {
    *out << error.description();
}

namespace {

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

// The ten fixed header bytes with the given flags.
Bytes fixedHeader(std::uint8_t flags) {
    return {0x1F, 0x8B, 0x08, flags, 0, 0, 0, 0, 0, 3};
}

// Two header-CRC bytes over everything before them.
Bytes headerCRC(const Bytes& header) {
    const std::uint32_t crc = Gzip::crc32(header);
    return {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)};
}

// Text that compresses well, and bytes that do not (a fixed xorshift sequence).
Bytes compressible(std::size_t length) {
    const std::string line = "<Entry><Title>Banka</Title><UserName>ayse</UserName></Entry>\n";
    Bytes out;
    while (out.size() < length) out.insert(out.end(), line.begin(), line.end());
    out.resize(length);
    return out;
}

Bytes incompressible(std::size_t length) {
    Bytes out(length);
    std::uint32_t x = 2463534242u;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

// zlib's own gzip reader, as an independent check of our framing.
Bytes zlibGunzip(const Bytes& member) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
    Bytes out(1 << 20);
    stream.next_in = const_cast<Bytef*>(member.data());
    stream.avail_in = static_cast<uInt>(member.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    inflateEnd(&stream);
    EXPECT_EQ(status, Z_STREAM_END);
    return out;
}

// A raw DEFLATE stream of 1 GiB + 1 MiB of zeros in about a megabyte: one fully flushed segment
// (self-contained and byte-aligned) repeated, then an empty final block.
Bytes overLimitBody() {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes zeros(1 << 20, 0);
    Bytes segment(1 << 16);
    stream.next_in = zeros.data();
    stream.avail_in = static_cast<uInt>(zeros.size());
    stream.next_out = segment.data();
    stream.avail_out = static_cast<uInt>(segment.size());
    EXPECT_EQ(deflate(&stream, Z_FULL_FLUSH), Z_OK);
    EXPECT_EQ(stream.avail_in, 0u);
    segment.resize(segment.size() - stream.avail_out);
    deflateEnd(&stream);

    Bytes body;
    for (int i = 0; i < 1025; ++i) body.insert(body.end(), segment.begin(), segment.end());
    body.push_back(0x03);  // final fixed-Huffman block holding only its end code
    body.push_back(0x00);
    return body;
}

// zlib's gzip reader over a whole member of any size: its content, and whether the member ended
// exactly at the end of the input (one member, nothing after it).
struct ZlibRead {
    Bytes content;
    bool oneWholeMember = false;
};

ZlibRead zlibReadMember(const Bytes& member) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
    ZlibRead result;
    Bytes chunk(1 << 16);
    stream.next_in = const_cast<Bytef*>(member.data());
    stream.avail_in = static_cast<uInt>(member.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = chunk.data();
        stream.avail_out = static_cast<uInt>(chunk.size());
        status = inflate(&stream, Z_NO_FLUSH);
        result.content.insert(result.content.end(), chunk.begin(), chunk.end() - stream.avail_out);
    }
    result.oneWholeMember = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return result;
}

// A member written through the Compressor, handed over in parts of `part` bytes.
Bytes compressInParts(const Bytes& data, std::size_t part, unsigned threads, std::size_t pieceSize) {
    Bytes out;
    Gzip::Compressor compressor([&](ByteView bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); },
                                threads, pieceSize);
    for (std::size_t offset = 0; offset < data.size(); offset += part) {
        compressor.write(ByteView(data).subspan(offset, std::min(part, data.size() - offset)));
    }
    compressor.finish();
    return out;
}

// The content of a member read through the Decompressor in parts of `part` bytes.
Bytes decompressInParts(const Bytes& member, std::size_t part) {
    Bytes out;
    Gzip::Decompressor decompressor(
        [&](ByteView bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); });
    for (std::size_t offset = 0; offset < member.size(); offset += part) {
        decompressor.write(ByteView(member).subspan(offset, std::min(part, member.size() - offset)));
    }
    decompressor.finish();
    return out;
}

}  // namespace

TEST(Gzip, CRC32KnownValues) {
    const struct {
        std::string input;
        std::uint32_t crc;
    } cases[] = {
        {"", 0},
        {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (const auto& c : cases) EXPECT_EQ(Gzip::crc32(bytesOf(c.input)), c.crc) << '"' << c.input << '"';
}

TEST(Gzip, EmptyInputMakesTheMinimalMember) {
    const Bytes member = Gzip::compress({});
    // Header, the DEFLATE coding of nothing (one empty final block), zero CRC and zero size.
    EXPECT_EQ(toHex(member),
              "1f8b08000000000000030300"
              "0000000000000000");
    EXPECT_TRUE(Gzip::decompress(member).empty());
}

TEST(Gzip, RoundTripsAndWritesTheFixedFraming) {
    const struct {
        Bytes data;
        const char* note;
    } cases[] = {
        {Bytes{}, "empty"},
        {bytesOf("a"), "one byte"},
        {bytesOf("<KeePassFile><Meta/><Root/></KeePassFile>"), "small"},
        {compressible(300000), "large, compressible"},
        {incompressible(200000), "large, compressed form above 65536 bytes"},
    };
    for (const auto& c : cases) {
        const Bytes member = Gzip::compress(c.data);
        ASSERT_GE(member.size(), 20u) << c.note;
        EXPECT_EQ(Bytes(member.begin(), member.begin() + 10), fixedHeader(0)) << c.note;
        EXPECT_EQ(Bytes(member.end() - 8, member.end()),
                  cat({le32(Gzip::crc32(c.data)), le32(static_cast<std::uint32_t>(c.data.size()))}))
            << c.note;
        EXPECT_EQ(Gzip::decompress(member), c.data) << c.note;
        EXPECT_EQ(zlibGunzip(member), c.data) << c.note;
    }
    EXPECT_LT(Gzip::compress(compressible(300000)).size(), 20000u);
    EXPECT_GT(Gzip::compress(incompressible(200000)).size(), 65536u);
}

TEST(Gzip, ReadsAMemberFromTheGzipTool) {
    const Bytes member = testsupport::readFile(testsupport::fixturePath("gzip/kasa-notu.txt.gz"));
    EXPECT_EQ(Gzip::decompress(member), bytesOf("Ombrix gzip fixture: a member written by the gzip tool.\n"));
}

TEST(Gzip, AcceptsTheOptionalHeaderFields) {
    const Bytes data = bytesOf("parola: hunter2, tekrar tekrar tekrar tekrar");
    const Bytes plain = Gzip::compress(data);
    const Bytes body(plain.begin() + 10, plain.end() - 8);
    const Bytes trailer(plain.end() - 8, plain.end());

    const Bytes extraHeader = cat({fixedHeader(0x04), {5, 0}, bytesOf("ABCDE")});
    const Bytes namedHeader = cat({fixedHeader(0x18), bytesOf("kasa.xml"), {0}, bytesOf("yorum"), {0}});
    const Bytes allFields =
        cat({fixedHeader(0x1E), {2, 0}, {0xAA, 0xBB}, bytesOf("ad"), {0}, bytesOf("not"), {0}});
    const Bytes plainWithCRC = fixedHeader(0x02);

    const struct {
        Bytes member;
        Bytes expected;
        const char* note;
    } cases[] = {
        {cat({fixedHeader(0xE1), body, trailer}), data, "text and reserved flag bits ignored"},
        {cat({extraHeader, body, trailer}), data, "extra field"},
        {cat({namedHeader, body, trailer}), data, "name and comment"},
        {cat({allFields, headerCRC(allFields), body, trailer}), data, "every field and a header CRC"},
        {cat({plainWithCRC, headerCRC(plainWithCRC), body, trailer}), data, "header CRC alone"},
        {cat({fixedHeader(0), body, bytesOf("junk"), trailer}), data,
         "bytes after the final block are ignored"},
        {cat({plain, plain}), data, "two members with the same content read once"},
        {cat({fixedHeader(0), le32(0), le32(0)}), Bytes{}, "empty body with zero CRC and size"},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(Gzip::decompress(c.member), c.expected) << c.note;
            for (const std::size_t part : {1, 3, 11}) {
                EXPECT_EQ(decompressInParts(c.member, part), c.expected) << c.note << ", parts of " << part;
            }
        } catch (const Gzip::Error& error) {
            ADD_FAILURE() << c.note << ": " << error.description();
        }
    }
}

TEST(Gzip, RefusesBadMembers) {
    using Error = Gzip::Error;
    const Bytes data = bytesOf("kullanıcı adı ve parola, kullanıcı adı ve parola");
    const Bytes plain = Gzip::compress(data);
    const Bytes body(plain.begin() + 10, plain.end() - 8);
    const std::uint32_t crc = Gzip::crc32(data);
    const auto size = static_cast<std::uint32_t>(data.size());
    const Bytes trailer = cat({le32(crc), le32(size)});

    auto withByte = [&](std::size_t index, std::uint8_t value) {
        Bytes out = plain;
        out[index] = value;
        return out;
    };
    const Bytes wrongCRCHeader = fixedHeader(0x02);
    const Bytes otherData = bytesOf("başka içerik");
    const Bytes other = Gzip::compress(otherData);
    const auto otherSize = static_cast<std::uint32_t>(otherData.size());

    const struct {
        Bytes member;
        Error expected;
        const char* note;
    } cases[] = {
        {Bytes(plain.begin(), plain.begin() + 17), Error::truncated(), "17 bytes starting 1F 8B 08"},
        {withByte(0, 0x1E), Error::notGzip(), "bad first magic byte"},
        {withByte(1, 0x8C), Error::notGzip(), "bad second magic byte"},
        {withByte(2, 7), Error::notGzip(), "method other than deflate"},
        {cat({fixedHeader(0x08), bytesOf("adsiz-dosya-adi-sifirsiz")}), Error::truncated(),
         "name without zero"},
        {cat({fixedHeader(0x04), {0xFF, 0xFF}, body, trailer}), Error::truncated(),
         "extra field past the end"},
        {cat({fixedHeader(0x0C), {0xFF, 0xFF}, body, trailer}), Error::truncated(),
         "extra field past the end, then a name"},
        {cat({fixedHeader(0x06), {6, 0}, Bytes(7, 0x41)}), Error::truncated(),
         "one byte left for the header CRC"},
        {cat({wrongCRCHeader, {0x12, 0x34}, body, trailer}), Error::headerCRCMismatch(), "wrong header CRC"},
        {cat({fixedHeader(0x08), Bytes(6, 0x41), {0}, Bytes(4, 0)}), Error::truncated(),
         "name eats into the trailer"},
        {cat({fixedHeader(0), Bytes{0xFF, 0xFF, 0xFF}, trailer}), Error::streamFailure(),
         "body is not DEFLATE data"},
        {cat({fixedHeader(0), Bytes(body.begin(), body.end() - 3), trailer}), Error::streamFailure(),
         "body stops before its final block"},
        {cat({fixedHeader(0), body, le32(crc), le32(size + 1)}), Error::sizeMismatch(size + 1, size),
         "size off by one"},
        {cat({fixedHeader(0), body, le32(crc ^ 1), le32(size - 1)}), Error::sizeMismatch(size - 1, size),
         "size and CRC wrong: size reported"},
        {cat({fixedHeader(0), body, le32(crc ^ 1), le32(size)}), Error::crcMismatch(crc ^ 1, crc),
         "CRC wrong"},
        {cat({fixedHeader(0), le32(0), le32(5)}), Error::sizeMismatch(5, 0), "empty body with a size"},
        {cat({plain, other}), Error::sizeMismatch(otherSize, size), "second member's trailer"},
        {cat({plain, Bytes(8, 0)}), Error::sizeMismatch(0, size), "trailing zeros"},
        {cat({fixedHeader(0), overLimitBody(), le32(0), le32(0)}), Error::tooLarge(),
         "inflates beyond the size limit"},
    };
    for (const auto& c : cases) {
        try {
            const Bytes result = Gzip::decompress(c.member);
            ADD_FAILURE() << c.note << ": no error, " << result.size() << " bytes";
        } catch (const Error& error) {
            EXPECT_EQ(error, c.expected) << c.note << ": " << error.description();
        }
        // Read in parts, the member fails the same way, whatever the part boundaries.
        for (const std::size_t part : {1, 5, 4096}) {
            if (c.member.size() > 100000) continue;  // the large case once is enough
            try {
                const Bytes result = decompressInParts(c.member, part);
                ADD_FAILURE() << c.note << ", parts of " << part << ": no error, " << result.size()
                              << " bytes";
            } catch (const Error& error) {
                EXPECT_EQ(error, c.expected)
                    << c.note << ", parts of " << part << ": " << error.description();
            }
        }
    }
}

TEST(GzipCompressor, PiecesJoinIntoOneMemberThatZlibReads) {
    const struct {
        Bytes data;
        std::size_t pieceSize;
        unsigned threads;
        std::size_t part;
        const char* note;
    } cases[] = {
        {Bytes{}, 1000, 4, 1000, "empty"},
        {bytesOf("a"), 1000, 4, 1, "one byte"},
        {compressible(1000), 1000, 4, 1000, "exactly one piece"},
        {compressible(999), 1000, 4, 999, "one byte short of a piece"},
        {compressible(1001), 1000, 4, 1001, "one byte over a piece"},
        {compressible(3000), 1000, 4, 1000, "a whole number of pieces"},
        {compressible(300000), 1000, 4, 777, "many pieces, each shorter than the window"},
        {compressible(300000), 65536, 1, 300000, "pieces on the calling thread"},
        {incompressible(500000), 65536, 8, 100000, "incompressible, more pieces than workers"},
        {cat({compressible(70000), incompressible(70000), compressible(70000)}), 50000, 3, 4096, "mixed"},
    };
    for (const auto& c : cases) {
        const Bytes member = compressInParts(c.data, c.part, c.threads, c.pieceSize);
        ASSERT_GE(member.size(), 20u) << c.note;
        EXPECT_EQ(Bytes(member.begin(), member.begin() + 10), fixedHeader(0)) << c.note;
        EXPECT_EQ(Bytes(member.end() - 8, member.end()),
                  cat({le32(Gzip::crc32(c.data)), le32(static_cast<std::uint32_t>(c.data.size()))}))
            << c.note;
        const ZlibRead read = zlibReadMember(member);
        EXPECT_TRUE(read.oneWholeMember) << c.note;
        EXPECT_EQ(read.content, c.data) << c.note;
        EXPECT_EQ(Gzip::decompress(member), c.data) << c.note;
    }
}

TEST(GzipCompressor, EachPieceReachesBackIntoTheOneBefore) {
    // Pieces of 4 KiB compressed on their own would each spell out the repeated line again (60
    // bytes); with the window before them as dictionary they add only their block header, code
    // tables and sync flush to what one stream takes.
    const Bytes data = compressible(400000);
    const std::size_t pieceCount = data.size() / 4096 + 1;
    const std::size_t oneStream = compressInParts(data, data.size(), 1, data.size()).size();
    const std::size_t pieces = compressInParts(data, data.size(), 4, 4096).size();
    EXPECT_LT(pieces, oneStream + pieceCount * 20);
}

// The threads that compress the pieces and pass them to the sink are the compressor's own: what
// fails there (the sink, or memory a worker cannot have) comes out of the caller's write() or
// finish() as an ordinary error, never an end of the program, and the compressor can be let go.
TEST(GzipCompressor, AFailureOnItsThreadsIsTheCallersError) {
    const Bytes data = cat({compressible(600000), incompressible(600000)});
    const struct {
        const char* note;
        bool sinkFails;
        bool workersCannotAllocate;
        const char* expected;
    } cases[] = {
        {"the sink fails at its third part", true, false, "disk full"},
        {"the workers cannot allocate", false, true, "std::bad_alloc"},
    };
    for (const auto& c : cases) {
        int calls = 0;
        Gzip::Compressor compressor(
            [&](ByteView) {
                if (c.sinkFails && ++calls == 3) throw std::runtime_error("disk full");
            },
            4, 16384);
        std::optional<allocationprobe::FailOnOtherThreads> failing;
        if (c.workersCannotAllocate) failing.emplace(1024);
        try {
            for (std::size_t at = 0; at < data.size(); at += 50000) {
                compressor.write(ByteView(data).subspan(at, std::min<std::size_t>(50000, data.size() - at)));
            }
            compressor.finish();
            ADD_FAILURE() << c.note << ": no error";
        } catch (const std::exception& error) {
            EXPECT_EQ(std::string(error.what()), c.expected) << c.note;
        }
        if (failing) {
            EXPECT_GT(failing->failures(), 0) << c.note;
        }
    }
}

// zlib that cannot have memory for its state is running out of memory, not a damaged stream:
// the inflater is set up at the first bytes past the header, here on a thread that cannot have
// the several kilobytes of its state (smaller blocks, such as an error's text, it can have).
TEST(GzipDecompressor, NoMemoryForTheInflaterIsOutOfMemory) {
    const Bytes member = Gzip::compress(compressible(100000));
    Gzip::Decompressor decompressor([](ByteView) {});
    decompressor.write(ByteView(member).first(18));
    std::string outcome = "inflated";
    {
        allocationprobe::FailOnOtherThreads failing(
            4096, 0, allocationprobe::FailOnOtherThreads::Scope::everyAllocator);
        std::thread([&] {
            try {
                decompressor.write(ByteView(member).subspan(18));
            } catch (const std::exception& error) {
                outcome = error.what();
            }
        }).join();
    }
    EXPECT_EQ(outcome, std::bad_alloc().what());
}

// A child forked while the pool's threads wait for work has none of them; its copy of their lock
// and condition variable must not leave its first member waiting forever. The parent gives the
// child a minute and ends it after that.
TEST(GzipCompressor, AChildForkedAfterThePoolStartedCompressesToo) {
    const Bytes data = cat({compressible(600000), incompressible(600000)});
    ASSERT_EQ(Gzip::decompress(compressInParts(data, 50000, 4, 16384)), data);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool same = Gzip::decompress(compressInParts(data, 50000, 4, 16384)) == data;
        std::_Exit(same ? 0 : 1);
    }
    int status = 0;
    pid_t ended = 0;
    for (int tenth = 0; tenth < 600 && ended == 0; ++tenth) {
        ended = ::waitpid(child, &status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the child hung";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // And the parent's pool works on.
    EXPECT_EQ(Gzip::decompress(compressInParts(data, 50000, 4, 16384)), data);
}

TEST(Gzip, ErrorTextsAndEquality) {
    using Error = Gzip::Error;
    const struct {
        Error error;
        std::string text;
    } cases[] = {
        {Error::crcMismatch(4294967295u, 17), "Gzip: CRC32 uyuşmuyor (beklenen 4294967295, bulunan 17)."},
        {Error::sizeMismatch(5, 6), "Gzip: açılan boyut uyuşmuyor (beklenen 5, bulunan 6)."},
        {Error::notGzip(), "Gzip: geçersiz sihirli sayı."},
        {Error::truncated(), "Gzip: veri eksik."},
        {Error::headerCRCMismatch(), "Gzip: başlık CRC uyuşmuyor."},
        {Error::streamFailure(), "Gzip: sıkıştırma akışı başarısız."},
        {Error::tooLarge(),
         "Gzip: açılan veri 1 GiB sınırını aşıyor; bu büyüklükte bir veritabanı açılamaz."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.description(), c.text);
        EXPECT_EQ(std::string(c.error.what()), c.text);
    }
    EXPECT_EQ(Error::crcMismatch(1, 2), Error::crcMismatch(1, 2));
    EXPECT_NE(Error::crcMismatch(1, 2), Error::crcMismatch(2, 1));
    EXPECT_NE(Error::crcMismatch(1, 2), Error::sizeMismatch(1, 2));
    EXPECT_EQ(Error::truncated(), Error::truncated());
    EXPECT_NE(Error::truncated(), Error::notGzip());
}
