#include "OmbrixCore/Kdbx/KdbxError.h"

#include <utility>

#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

std::string describe(KdbxError::Kind kind, const std::string& detail, std::uint16_t major,
                     std::uint16_t minor, std::int64_t index) {
    using Kind = KdbxError::Kind;
    switch (kind) {
        case Kind::unsupportedVersion:
            return "Desteklenmeyen KDBX sürümü: " + std::to_string(major) + "." + std::to_string(minor);
        case Kind::corruptedData:
            return "Veritabanı bozuk: " + detail;
        case Kind::unsupportedCipher:
            return "Desteklenmeyen şifreleme algoritması: " + detail;
        case Kind::unsupportedKdf:
            return "Desteklenmeyen anahtar türetme fonksiyonu: " + detail;
        case Kind::blockHmacMismatch:
            return "Veri bloğu " + std::to_string(index) + " bütünlük kontrolünden geçemedi.";
        case Kind::xmlParseFailure:
            return "XML çözümlenemedi: " + detail;
        case Kind::cryptoFailure:
            return "Şifreleme hatası: " + detail;
        case Kind::notAKdbxFile:
            return "Bu bir KDBX veritabanı dosyası değil.";
        case Kind::invalidCredentials:
            return "Ana parola veya anahtar dosyası hatalı.";
        case Kind::headerHashMismatch:
            return "Başlık bütünlük kontrolü başarısız — dosya değiştirilmiş olabilir.";
        case Kind::kdfTooExpensive:
            return "Bu veritabanı açılmadı: " + detail +
                   ". Dosyanın anahtar türetme ayarları makul bir değerin çok üstünde; dosya bozuk ya da "
                   "kötü niyetli olabilir.";
    }
    return {};
}

}  // namespace

KdbxError::KdbxError(Kind kind, std::string detail, std::uint16_t major, std::uint16_t minor,
                     std::int64_t index)
    : kind_(kind),
      detail_(std::move(detail)),
      major_(major),
      minor_(minor),
      index_(index),
      message_(describe(kind_, detail_, major_, minor_, index_)) {}

KdbxError KdbxError::unsupportedVersion(std::uint16_t major, std::uint16_t minor) {
    return KdbxError(Kind::unsupportedVersion, {}, major, minor, 0);
}
KdbxError KdbxError::corruptedData(std::string detail) {
    return KdbxError(Kind::corruptedData, std::move(detail), 0, 0, 0);
}
KdbxError KdbxError::unsupportedCipher(std::string detail) {
    return KdbxError(Kind::unsupportedCipher, std::move(detail), 0, 0, 0);
}
KdbxError KdbxError::unsupportedKdf(std::string detail) {
    return KdbxError(Kind::unsupportedKdf, std::move(detail), 0, 0, 0);
}
KdbxError KdbxError::blockHmacMismatch(std::int64_t index) {
    return KdbxError(Kind::blockHmacMismatch, {}, 0, 0, index);
}
KdbxError KdbxError::xmlParseFailure(std::string detail) {
    return KdbxError(Kind::xmlParseFailure, std::move(detail), 0, 0, 0);
}
KdbxError KdbxError::cryptoFailure(std::string detail) {
    return KdbxError(Kind::cryptoFailure, std::move(detail), 0, 0, 0);
}
KdbxError KdbxError::notAKdbxFile() {
    return KdbxError(Kind::notAKdbxFile, {}, 0, 0, 0);
}
KdbxError KdbxError::invalidCredentials() {
    return KdbxError(Kind::invalidCredentials, {}, 0, 0, 0);
}
KdbxError KdbxError::headerHashMismatch() {
    return KdbxError(Kind::headerHashMismatch, {}, 0, 0, 0);
}
KdbxError KdbxError::kdfTooExpensive(std::string detail) {
    return KdbxError(Kind::kdfTooExpensive, std::move(detail), 0, 0, 0);
}

bool operator==(const KdbxError& a, const KdbxError& b) {
    return a.kind_ == b.kind_ && a.major_ == b.major_ && a.minor_ == b.minor_ && a.index_ == b.index_ &&
           UnicodeText::canonicallyEqual(a.detail_, b.detail_);
}
