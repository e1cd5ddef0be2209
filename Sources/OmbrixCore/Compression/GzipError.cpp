#include "OmbrixCore/Compression/Gzip.h"

#include <string>

Gzip::Error::Error(Kind kind, std::uint32_t expected, std::int64_t actual)
    : kind_(kind), expected_(expected), actual_(actual) {
    switch (kind) {
        case Kind::crcMismatch:
            description_ = "Gzip: CRC32 uyuşmuyor (beklenen " + std::to_string(expected) + ", bulunan " +
                           std::to_string(actual) + ").";
            break;
        case Kind::sizeMismatch:
            description_ = "Gzip: açılan boyut uyuşmuyor (beklenen " + std::to_string(expected) +
                           ", bulunan " + std::to_string(actual) + ").";
            break;
        case Kind::notGzip:
            description_ = "Gzip: geçersiz sihirli sayı.";
            break;
        case Kind::truncated:
            description_ = "Gzip: veri eksik.";
            break;
        case Kind::headerCRCMismatch:
            description_ = "Gzip: başlık CRC uyuşmuyor.";
            break;
        case Kind::streamFailure:
            description_ = "Gzip: sıkıştırma akışı başarısız.";
            break;
        case Kind::tooLarge:
            description_ = "Gzip: açılan veri 1 GiB sınırını aşıyor; bu büyüklükte bir veritabanı açılamaz.";
            break;
    }
}

Gzip::Error Gzip::Error::crcMismatch(std::uint32_t expected, std::uint32_t actual) {
    return Error(Kind::crcMismatch, expected, actual);
}

Gzip::Error Gzip::Error::sizeMismatch(std::uint32_t expected, std::int64_t actual) {
    return Error(Kind::sizeMismatch, expected, actual);
}

Gzip::Error Gzip::Error::notGzip() {
    return Error(Kind::notGzip, 0, 0);
}

Gzip::Error Gzip::Error::truncated() {
    return Error(Kind::truncated, 0, 0);
}

Gzip::Error Gzip::Error::headerCRCMismatch() {
    return Error(Kind::headerCRCMismatch, 0, 0);
}

Gzip::Error Gzip::Error::streamFailure() {
    return Error(Kind::streamFailure, 0, 0);
}
Gzip::Error Gzip::Error::tooLarge() {
    return Error(Kind::tooLarge, 0, 0);
}
