#include <gtest/gtest.h>

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <QTemporaryDir>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/FontRegistrar.h"
#include "Support/WidgetProbe.h"

TEST(FontRegistrar, BundledFamiliesResolveToTheirOwnFaces) {
    ASSERT_TRUE(FontRegistrar::isAvailable());
    struct Case {
        QFont font;
        const char* family;
        const char* face;
    };
    const Case cases[] = {
        {BrandFont::display(26, QFont::DemiBold), "Ombrix Display", "SemiBold"},
        {BrandFont::display(26, QFont::ExtraBold), "Ombrix Display", "ExtraBold"},
        {BrandFont::body(13, QFont::Normal), "Ombrix Text", "Regular"},
        {BrandFont::body(13, QFont::Medium), "Ombrix Text", "Medium"},
        {BrandFont::body(13, QFont::DemiBold), "Ombrix Text", "SemiBold"},
        {BrandFont::body(13, QFont::Bold), "Ombrix Text", "Bold"},
    };
    for (const Case& c : cases) {
        const QFontInfo info(c.font);
        EXPECT_EQ(info.family().toStdString(), c.family);
        EXPECT_EQ(info.styleName().toStdString(), c.face) << c.family;
        EXPECT_EQ(info.pixelSize(), c.font.pixelSize()) << c.family << " " << c.face;
        // Every face carries the Turkish letters itself, without falling back.
        const QRawFont raw = QRawFont::fromFont(c.font);
        for (QChar ch : QStringLiteral("ğĞşŞıİçÇöÖüÜ"))
            EXPECT_TRUE(raw.supportsCharacter(ch))
                << c.family << " " << c.face << " lacks " << QString(ch).toStdString();
    }
}

TEST(FontRegistrar, SecondCallDoesNothing) {
    probe::MessageLog log;
    const QStringList before = QFontDatabase::families();
    FontRegistrar::registerBundledFonts();
    EXPECT_TRUE(probe::MessageLog::lines().isEmpty());
    EXPECT_TRUE(FontRegistrar::isAvailable());
    EXPECT_EQ(QFontDatabase::families(), before);
}

TEST(FontRegistrar, FolderPassRegistersFontFilesAndReportsEachFailure) {
    // The copy registered here stays registered for the rest of the run and may be the face Qt
    // picks for "Ombrix Text" later on, so its file must outlive every test.
    static QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    QFile good(QStringLiteral(":/Fonts/OmbrixText-Regular.otf"));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    write(QStringLiteral("good.otf"), good.readAll());
    // Garbage in every file below: a file that is tried fails and is reported, so the log
    // shows exactly which names were tried.
    const QByteArray junk("not a font");
    for (const char* name :
         {"upper.TTF", "mixed.Otf", "collection.ttc", "web.woff", "noextension", ".hidden.ttf"})
        write(QString::fromLatin1(name), junk);

    probe::MessageLog log;
    EXPECT_TRUE(FontRegistrar::registerFolder(dir.path(), {QStringLiteral("Ombrix Text")}));
    QStringList lines = probe::MessageLog::lines();
    lines.sort();
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("[Ombrix] Could not register mixed.Otf: ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("[Ombrix] Could not register upper.TTF: ")));
}

TEST(FontRegistrar, FolderPassNeedsEveryFamily) {
    struct Case {
        QStringList families;
        bool available;
        const char* note;
    };
    const Case cases[] = {
        {{QStringLiteral("Ombrix Display"), QStringLiteral("Ombrix Text")}, true, "both present"},
        {{QStringLiteral("Ombrix Display"), QStringLiteral("Ombrix Nowhere")}, false, "second missing"},
        {{QStringLiteral("Ombrix Nowhere"), QStringLiteral("Ombrix Text")}, false, "first missing"},
    };
    QTemporaryDir empty;
    for (const Case& c : cases) {
        probe::MessageLog log;
        EXPECT_EQ(FontRegistrar::registerFolder(empty.path(), c.families), c.available) << c.note;
        const QStringList expected =
            c.available
                ? QStringList{}
                : QStringList{QStringLiteral("[Ombrix] Bundled families unavailable after registration — "
                                             "falling back to system fonts.")};
        EXPECT_EQ(probe::MessageLog::lines(), expected) << c.note;
    }
}

TEST(FontRegistrar, MissingFolderFallsBackWithItsOwnLine) {
    probe::MessageLog log;
    EXPECT_FALSE(
        FontRegistrar::registerFolder(QStringLiteral(":/NoSuchFolder"), {QStringLiteral("Ombrix Text")}));
    EXPECT_EQ(probe::MessageLog::lines(),
              QStringList{QStringLiteral(
                  "[Ombrix] Fonts directory missing from bundle — falling back to system fonts.")});
}
