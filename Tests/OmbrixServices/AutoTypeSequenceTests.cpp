#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <QLocale>

#include <unicode/uloc.h>

#include "OmbrixServices/Services/AutoTypeError.h"
#include "OmbrixServices/Services/AutoTypeSequence.h"
#include "OmbrixServices/Services/AutoTypeService.h"

// Failure output names the kind and, for text, only the length: a step may hold a password.
void PrintTo(const AutoTypeAction& a, std::ostream* os) {
    switch (a.kind()) {
        case AutoTypeAction::Kind::text:
            *os << "text(" << a.textValue().size() << " bytes)";
            break;
        case AutoTypeAction::Kind::key:
            *os << "key(" << static_cast<int>(a.keyValue()) << ")";
            break;
        case AutoTypeAction::Kind::delay:
            *os << "delay(" << a.delayMilliseconds() << ")";
            break;
        case AutoTypeAction::Kind::clearField:
            *os << "clearField";
            break;
    }
}

namespace {

using A = AutoTypeAction;
using K = AutoTypeKey;

KdbxEntry sampleEntry(std::map<std::string, KdbxFieldValue> fields = {{"Pin", "1234"}}) {
    KdbxEntry e;
    e.title = "Banka";
    e.username = "ayşe";
    e.password = SecureString("P@ss{TAB}ğü");
    e.url = "https://banka.example";
    e.notes = "not";
    e.customFields = std::move(fields);
    return e;
}

struct Case {
    std::string sequence;
    std::vector<AutoTypeAction> expected;
    const char* note;
};

TEST(AutoTypeSequence, PlaceholdersEscapesAndLiteralText) {
    const KdbxEntry entry = sampleEntry();
    const std::vector<Case> cases = {
        {std::string(AutoTypeService::defaultSequence),
         {A::text("ayşe"), A::key(K::tab), A::text("P@ss{TAB}ğü"), A::key(K::enter)},
         "default sequence; a brace in the password is typed, not read"},
        {"", {}, "empty sequence"},
        {"a{USERNAME}b", {A::text("aayşeb")}, "values join the text around them"},
        {"{URL} {TITLE}/{NOTES}", {A::text("https://banka.example Banka/not")}, "the other fields"},
        {"{{}", {A::text("{")}, "escaped open brace"},
        {"{}}", {A::text("}")}, "escaped close brace"},
        {"x{{}y{}}z", {A::text("x{y}z")}, "escapes inside text"},
        {"{}", {A::text("{}")}, "empty braces typed as written"},
        {"{FOO}", {A::text("{FOO}")}, "unknown name typed as written"},
        {"abc{", {A::text("abc{")}, "unclosed brace at the end"},
        {"{TAB", {A::text("{TAB")}, "unclosed placeholder"},
        {"{A{B}", {A::text("{A{B}")}, "body holding a brace is no placeholder"},
        {"a}b", {A::text("a}b")}, "lone close brace is text"},
        {"{tab}{Tab}{TAB}", {A::key(K::tab), A::key(K::tab), A::key(K::tab)}, "names in any case"},
        {"{ESCAPE}{ TAB}", {A::text("{ESCAPE}{ TAB}")}, "nothing around a name"},
        {"{ESC}{SPACE}{BACKSPACE}{DELETE}{HOME}{END}{UP}{DOWN}{LEFT}{RIGHT}",
         {A::key(K::escape), A::key(K::space), A::key(K::backspace), A::key(K::delete_), A::key(K::home),
          A::key(K::end), A::key(K::up), A::key(K::down), A::key(K::left), A::key(K::right)},
         "every named key"},
        {"{CLEARFIELD}{USERNAME}", {A::clearField(), A::text("ayşe")}, "clear field"},
        {"x{ENTER}y", {A::text("x"), A::key(K::enter), A::text("y")}, "text flushed before a key"},
        {"{DELAY 200}", {A::delay(200)}, "pause with a space"},
        {"{DELAY=200}", {A::delay(200)}, "pause with ="},
        {"{delay = 200}", {A::delay(200)}, "pause in lower case, mixed separators"},
        {"{DELAY200}", {A::delay(200)}, "pause without separator"},
        {"{DELAY +200}", {A::delay(200)}, "pause with plus sign"},
        {"{DELAY 200\t}", {A::delay(200)}, "trailing tab trimmed"},
        {"{DELAY\xC2\xA0"
         "200}",
         {A::delay(200)},
         "no-break space trimmed"},
        {"{DELAY 0}", {A::delay(0)}, "zero pause"},
        {"{DELAY -0}", {A::delay(0)}, "minus zero is not negative"},
        {"{DELAY 10000}", {A::delay(10000)}, "the longest pause"},
        {"{DELAY 10001}", {A::delay(10000)}, "a longer pause is shortened"},
        {"{DELAY 9223372036854775807}", {A::delay(10000)}, "largest 64-bit value shortened"},
        {"{DELAY 9223372036854775808}", {A::text("{DELAY 9223372036854775808}")}, "beyond 64 bits"},
        {"{DELAY 99999999999999999999999}", {A::text("{DELAY 99999999999999999999999}")}, "far beyond"},
        {"{DELAY 18446744073709551620}", {A::text("{DELAY 18446744073709551620}")}, "2^64 + 4 does not wrap"},
        {"{DELAY}", {A::text("{DELAY}")}, "pause without a value"},
        {"{DELAY = }", {A::text("{DELAY = }")}, "pause with only separators"},
        {"{DELAY -5}", {A::text("{DELAY -5}")}, "negative pause"},
        {"{DELAY 2.5}", {A::text("{DELAY 2.5}")}, "fraction"},
        {"{DELAY 2 00}", {A::text("{DELAY 2 00}")}, "space inside the number"},
        {"{DELAY +}", {A::text("{DELAY +}")}, "sign without digits"},
        {"{DELAYED}", {A::text("{DELAYED}")}, "other word starting with DELAY"},
        {"{DELAY \xD9\xA3}", {A::text("{DELAY \xD9\xA3}")}, "only ASCII digits count"},
        {"{S:Pin}", {A::text("1234")}, "custom field"},
        {"{s:pin}", {A::text("1234")}, "custom field in any case"},
        {"[{S:Missing}]", {A::text("[]")}, "missing custom field types nothing"},
        {"{S:Missing}", {}, "missing custom field alone gives no step"},
        {"{S:}", {}, "empty field name"},
        {"{\xCC\x81TAB}", {A::text("{\xCC\x81TAB}")}, "combining mark inside the braces"},
        {"{\xCC\x81{}", {A::text("{\xCC\x81{}")}, "brace with a combining mark is no brace"},
        {"a\xCC\x81{TAB}", {A::text("a\xCC\x81"), A::key(K::tab)}, "combining mark stays with its letter"},
        {"\xFF{TAB}", {A::text("\xEF\xBF\xBD"), A::key(K::tab)}, "ill-formed UTF-8 becomes U+FFFD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AutoTypeSequence::parse(c.sequence, entry), c.expected) << c.note;
    }
}

TEST(AutoTypeSequence, EmptyUserNameLeavesNoTextStep) {
    KdbxEntry entry = sampleEntry();
    entry.username.clear();
    EXPECT_EQ(AutoTypeSequence::parse(AutoTypeService::defaultSequence, entry),
              (std::vector<AutoTypeAction>{A::key(K::tab), A::text("P@ss{TAB}ğü"), A::key(K::enter)}));
}

TEST(AutoTypeSequence, CustomFieldNamesMatchExactlyFirstThenWithoutCase) {
    struct FieldCase {
        std::map<std::string, KdbxFieldValue> fields;
        std::string sequence;
        std::string expected;
        const char* note;
    };
    const std::vector<FieldCase> cases = {
        {{{"PIN", "9"}}, "{S:Pin}", "9", "only a field differing in case"},
        {{{"PIN", "9"}, {"Pin", "1"}}, "{S:Pin}", "1", "the exact name wins"},
        {{{"", "boş"}}, "{S:}", "boş", "a field with the empty name"},
        {{{"Kod", "k"}}, "{S: Kod}", "", "spaces are part of the name"},
        {{{"Şifre", "s"}}, "{S:şIFRE}", "s", "non-ASCII letters without case"},
        {{{"Cafe\xCC\x81", "c"}}, "{S:Caf\xC3\xA9}", "c", "canonically equivalent name"},
    };
    for (const FieldCase& c : cases) {
        const std::vector<AutoTypeAction> expected =
            c.expected.empty() ? std::vector<AutoTypeAction>{} : std::vector{A::text(c.expected)};
        EXPECT_EQ(AutoTypeSequence::parse(c.sequence, sampleEntry(c.fields)), expected) << c.note;
    }
}

TEST(AutoTypeSequence, NamesIgnoreTheTurkishLocale) {
    const std::string oldC = std::setlocale(LC_ALL, nullptr);
    const QLocale oldQt;
    const std::string oldIcu = uloc_getDefault();
    std::setlocale(LC_ALL, "tr_TR.UTF-8");  // may be missing; Qt and ICU defaults are set regardless
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("tr_TR", &status);

    const KdbxEntry entry = sampleEntry();
    EXPECT_EQ(AutoTypeSequence::parse("{title}{clearfield}{s:pin}{delay 5}", entry),
              (std::vector<AutoTypeAction>{A::text("Banka"), A::clearField(), A::text("1234"), A::delay(5)}));

    std::setlocale(LC_ALL, oldC.c_str());
    QLocale::setDefault(oldQt);
    status = U_ZERO_ERROR;
    uloc_setDefault(oldIcu.c_str(), &status);
}

TEST(AutoTypeAction, EqualityAndWipe) {
    EXPECT_EQ(A::text("\xC3\xA9"), A::text("e\xCC\x81")) << "canonically equivalent texts";
    EXPECT_NE(A::text("a"), A::text("b"));
    EXPECT_NE(A::delay(1), A::delay(2));
    EXPECT_NE(A::key(K::tab), A::key(K::enter));
    EXPECT_NE(A::text(""), A::clearField());
    EXPECT_EQ(A::clearField(), A::clearField());

    A secret = A::text("a long secret that does not fit the small-string buffer");
    secret.wipe();
    EXPECT_EQ(secret, A::text(""));
}

TEST(AutoTypeError, DescriptionsAndEquality) {
    struct Case {
        AutoTypeError error;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {AutoTypeError::targetActivationFailed("Firefox"), "Firefox uygulaması ön plana getirilemedi."},
        {AutoTypeError::targetActivationFailed("Uygulama"), "Uygulama uygulaması ön plana getirilemedi."},
        {AutoTypeError::accessibilityPermissionMissing(),
         "Otomatik yazma için XTEST uzantılı bir X11 oturumu gerekli. Wayland oturumlarında otomatik yazma "
         "kullanılamaz."},
        {AutoTypeError::noTargetApplication(), "Yazılacak hedef uygulama bulunamadı."},
        {AutoTypeError::eventCreationFailed(), "Klavye olayı oluşturulamadı."},
        {AutoTypeError::keysHeld(), "Basılı tutulan bir tuş bırakılmadığı için otomatik yazma durduruldu."},
        {AutoTypeError::focusMoved(),
         "Klavye odağı başka bir pencereye geçtiği için otomatik yazma durduruldu."},
        {AutoTypeError::keyboardGrabbed(),
         "Klavyeyi başka bir program tuttuğu için otomatik yazma durduruldu."},
        {AutoTypeError::targetClosed(), "Hedef pencere kapandığı için otomatik yazma durduruldu."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.description(), c.expected);
        EXPECT_EQ(std::string(c.error.what()), c.expected);
    }
    EXPECT_EQ(AutoTypeError::targetActivationFailed("Caf\xC3\xA9"),
              AutoTypeError::targetActivationFailed("Cafe\xCC\x81"));
    EXPECT_FALSE(AutoTypeError::targetActivationFailed("a") == AutoTypeError::targetActivationFailed("b"));
    EXPECT_FALSE(AutoTypeError::noTargetApplication() == AutoTypeError::eventCreationFailed());
    EXPECT_EQ(AutoTypeError::eventCreationFailed(), AutoTypeError::eventCreationFailed());
}

}  // namespace
