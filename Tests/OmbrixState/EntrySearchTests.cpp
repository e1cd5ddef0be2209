#include <gtest/gtest.h>

#include "OmbrixState/EntrySearch.h"
#include "Support/AppStateFakes.h"

namespace {

KdbxEntry sample() {
    KdbxEntry e = fakes::entry("Işık Bankası", "ayse.yilmaz", "https://banka.example/giris");
    e.notes = "Şube: Kadıköy\nMüşteri no 4411";
    e.password = SecureString("gizliparola");
    e.tags = {"finans", "önemli"};
    e.customFields = {{"PIN", "9911"}, {"Soru", "ilk evcil hayvan"}, {"Kurtarma", "yedek-kod-77"}};
    e.protectedCustomFields = {"Kurtarma"};
    KdbxEntry old = e;
    old.title = "Eski Banka Adı";
    e.historyItems = CowList<KdbxEntry>{old};
    return e;
}

}  // namespace

TEST(EntrySearch, MatchesEveryWordSomewhereInTheVisibleFields) {
    struct Case {
        const char* query;
        bool matches;
        const char* note;
    };
    const Case cases[] = {
        {"", true, "empty query"},
        {" \t ", true, "blank query"},
        {"IŞ", true, "capitals, I lower-cased to i"},
        {"IŞIK", false, "the second I is lower-cased to i as well"},
        {"işık", true, "the title's I is searched as i"},
        {"ışık", false, "never as ı"},
        {"isik", false, "ı and i are different letters"},
        {"AYSE", true, "I becomes i, never ı"},
        {"   BANKA    AYSE  ", true, "runs of spaces, capitals"},
        {"bankası yok", false, "one word missing"},
        {"kadıköy 4411", true, "words in notes"},
        {"finans", true, "a tag"},
        {"önem", true, "part of a tag"},
        {"pin 9911", true, "name and value of a custom field"},
        {"evcil", true, "custom field value"},
        {"kurtarma", false, "protected field name"},
        {"yedek-kod", false, "protected field value"},
        {"gizliparola", false, "password"},
        {"eski", false, "history"},
        {"example/giris", true, "inside the address"},
        {"giris müşteri", true, "words in different fields"},
        {"yilmazhttps", false, "fields are not run together"},
        {"no\t4411", false, "a tab stays inside the word"},
    };
    const KdbxEntry e = sample();
    for (const Case& c : cases) {
        EXPECT_EQ(EntrySearch(QString::fromUtf8(c.query)).matches(e), c.matches) << c.note;
    }
}

TEST(EntrySearch, ComparesCanonicalForms) {
    struct Case {
        const char* title;
        const char* query;
        bool matches;
        const char* note;
    };
    const Case cases[] = {
        {"Cafe\xCC\x81", "café", true, "decomposed text, precomposed query"},
        {"café", "CAFE\xCC\x81", true, "precomposed text, decomposed query in capitals"},
        {"Çiçek", "C\xCC\xA7ic\xCC\xA7", true, "decomposed cedillas"},
        {"cafe", "café", false, "diacritics count"},
        {"İstanbul", "İSTANBUL", true, "dotted capital I on both sides"},
        {"İstanbul", "istanbul", false, "İ lower-cases to i with a combining dot"},
        {"izmir", "I", true, "capital I finds small i"},
        {"ılgın", "I", false, "capital I never finds dotless ı"},
    };
    for (const Case& c : cases) {
        const KdbxEntry e = fakes::entry(c.title);
        EXPECT_EQ(EntrySearch(QString::fromUtf8(c.query)).matches(e), c.matches) << c.note;
    }
}

TEST(EntrySearch, TrimsSpacesAndTabsButNotLineBreaks) {
    EXPECT_EQ(EntrySearch::trimmed(u"\t\u00A0 söz \u2003"), u"söz");
    EXPECT_EQ(EntrySearch::trimmed(u"\nsöz\n"), u"\nsöz\n");
    EXPECT_TRUE(EntrySearch(u" \t\u00A0").isEmpty());
}

TEST(EntrySearch, FoldsTextExactlyAsQStringDoes) {
    // Every BMP character and a sample of the others, each as a title of its own.
    std::vector<char32_t> characters;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c < 0xD800 || c > 0xDFFF) characters.push_back(c);
    }
    for (char32_t c = 0x10000; c <= 0x10FFFF; c += 97) characters.push_back(c);
    characters.push_back(0x1E900);  // Adlam capital: a lower-case letter outside the BMP
    int mismatches = 0;
    for (char32_t c : characters) {
        KdbxEntry e;
        e.title = QString::fromUcs4(&c, 1).toStdString();
        const QString expected = QString::fromUcs4(&c, 1).toLower().normalized(QString::NormalizationForm_C) +
                                 QStringLiteral("     ");
        if (EntrySearch::searchedText(e) != expected && ++mismatches < 5) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c);
        }
    }
    EXPECT_EQ(mismatches, 0);

    KdbxEntry mixed = fakes::entry("İSTANBUL Çarşı ΣΟΦΊΑ \xF0\x9E\xA4\x80", "Ayşe");
    mixed.tags = {"İş", "Özel"};
    mixed.customFields = {{"Şube", "KADIKÖY"}};
    EXPECT_EQ(EntrySearch::searchedText(mixed),
              QStringLiteral("İSTANBUL Çarşı ΣΟΦΊΑ \U0001E900 Ayşe   İş Özel Şube KADIKÖY")
                  .toLower()
                  .normalized(QString::NormalizationForm_C));
}
