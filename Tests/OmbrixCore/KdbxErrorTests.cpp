#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

TEST(KdbxError, DescriptionsAreTheTurkishTexts) {
    struct Case {
        KdbxError error;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {KdbxError::unsupportedVersion(5, 0), "Desteklenmeyen KDBX sürümü: 5.0"},
        {KdbxError::unsupportedVersion(65535, 65535), "Desteklenmeyen KDBX sürümü: 65535.65535"},
        {KdbxError::corruptedData("x"), "Veritabanı bozuk: x"},
        {KdbxError::corruptedData(""), "Veritabanı bozuk: "},
        {KdbxError::unsupportedCipher("Twofish"), "Desteklenmeyen şifreleme algoritması: Twofish"},
        {KdbxError::unsupportedKdf("y"), "Desteklenmeyen anahtar türetme fonksiyonu: y"},
        {KdbxError::blockHmacMismatch(0), "Veri bloğu 0 bütünlük kontrolünden geçemedi."},
        {KdbxError::blockHmacMismatch(12), "Veri bloğu 12 bütünlük kontrolünden geçemedi."},
        {KdbxError::xmlParseFailure("z"), "XML çözümlenemedi: z"},
        {KdbxError::cryptoFailure("w"), "Şifreleme hatası: w"},
        {KdbxError::notAKdbxFile(), "Bu bir KDBX veritabanı dosyası değil."},
        {KdbxError::invalidCredentials(), "Ana parola veya anahtar dosyası hatalı."},
        {KdbxError::headerHashMismatch(),
         "Başlık bütünlük kontrolü başarısız \xE2\x80\x94 dosya değiştirilmiş olabilir."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.description(), c.expected);
        EXPECT_EQ(std::string(c.error.what()), c.expected);
    }
}

TEST(KdbxError, EqualityNeedsSameCaseAndPayload) {
    struct Case {
        KdbxError a;
        KdbxError b;
        bool equal;
        const char* note;
    };
    const std::vector<Case> cases = {
        {KdbxError::corruptedData("d"), KdbxError::corruptedData("d"), true, "same case, same detail"},
        {KdbxError::corruptedData("d"), KdbxError::unsupportedCipher("d"), false, "same detail, other case"},
        {KdbxError::corruptedData("d"), KdbxError::corruptedData("e"), false, "other detail"},
        {KdbxError::corruptedData("\xC3\xA9"), KdbxError::corruptedData("e\xCC\x81"), true,
         "canonically equivalent details"},
        {KdbxError::unsupportedVersion(4, 2), KdbxError::unsupportedVersion(4, 2), true, "same version"},
        {KdbxError::unsupportedVersion(4, 2), KdbxError::unsupportedVersion(4, 3), false, "other minor"},
        {KdbxError::unsupportedVersion(3, 2), KdbxError::unsupportedVersion(4, 2), false, "other major"},
        {KdbxError::blockHmacMismatch(1), KdbxError::blockHmacMismatch(1), true, "same index"},
        {KdbxError::blockHmacMismatch(1), KdbxError::blockHmacMismatch(2), false, "other index"},
        {KdbxError::notAKdbxFile(), KdbxError::notAKdbxFile(), true, "payload-less, same"},
        {KdbxError::notAKdbxFile(), KdbxError::invalidCredentials(), false, "payload-less, other"},
        {KdbxError::invalidCredentials(), KdbxError::headerHashMismatch(), false, "payload-less, other"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.a == c.b, c.equal) << c.note;
}
