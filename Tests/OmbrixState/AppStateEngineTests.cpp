// The application state over the real KDBX engine: files written by one state object open in a
// fresh one. New databases use a cheap key derivation so the tests stay fast.
#include <gtest/gtest.h>

#include <QFile>

#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixState/DatabaseCodec.h"
#include "Support/AppStateFakes.h"
#include "Support/Fixtures.h"

using namespace fakes;

namespace {

// The harness with the engine in place of the in-memory codec.
struct EngineHarness : Harness {
    EngineHarness() { codecInUse = std::make_shared<KdbxFileCodec>(); }

    std::unique_ptr<AppState> makeEngineState() {
        AppStateDependencies deps = dependencies();
        deps.codec = codecInUse;
        return std::make_unique<AppState>(deps);
    }

    std::shared_ptr<DatabaseCodec> codecInUse;
};

KdbxDatabase cheap(KdbxDatabase db) {
    db.kdf = KdfSettings::argon2id(64, 1, 1);
    return db;
}

}  // namespace

TEST(AppStateEngine, ACreatedDatabaseOpensAgainWithTheSameContent) {
    EngineHarness h;
    const auto state = h.makeEngineState();
    state->prepare(h.path("Radir.kdbx"));
    state->createDatabase(h.path("Radir.kdbx"), "çok gizli", std::nullopt);
    ASSERT_FALSE(state->lastError()) << state->lastError()->toStdString();
    KdbxEntry e = entry("Banka", "ayşe", "banka.example");
    e.password = SecureString("p@rola-ĞÜŞ");
    e.customFields = {{"PIN", "1234"}};
    e.protectedCustomFields = {"PIN"};
    state->addEntry(e, state->database()->root.groups[2].id);
    state->save();
    ASSERT_FALSE(state->lastError());
    const KdbxDatabase written = *state->database();

    const auto fresh = h.makeEngineState();
    fresh->restoreRecentDatabase();
    fresh->unlock("çok gizli", std::nullopt);
    ASSERT_FALSE(fresh->isLocked()) << fresh->lastError().value_or("").toStdString();
    const KdbxDatabase& read = *fresh->database();
    EXPECT_EQ(read.root, written.root);
    EXPECT_EQ(read.meta.databaseName, "Radir");
    EXPECT_EQ(read.kdf, KdfSettings::argon2id(64, 1, 1));
    ASSERT_EQ(read.root.groups.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read.root.groups[i].id, written.root.groups[i].id);
        EXPECT_EQ(read.root.groups[i].name, written.root.groups[i].name);
    }
    const KdbxEntry& back = read.root.groups[2].entries[0];
    EXPECT_EQ(back.id, e.id);
    EXPECT_EQ(back.password.value(), "p@rola-ĞÜŞ");
    EXPECT_EQ(back.customFields, e.customFields);
    // The password went out protected, and a value read as protected is remembered so.
    EXPECT_EQ(back.protectedCustomFields, (std::set<std::string>{"PIN", "Password"}));
}

TEST(AppStateEngine, WhatIsSavedAfterAnUndoIsWhatOpens) {
    EngineHarness h;
    const auto state = h.makeEngineState();
    state->prepare(h.path("kasa.kdbx"));
    state->createDatabase(h.path("kasa.kdbx"), "parola", std::nullopt);
    const UUID internet = state->database()->root.groups[0].id;
    state->addEntry(entry("Kalıcı"), internet);
    KdbxEntry edited = state->database()->root.groups[0].entries[0];
    edited.title = "Geri alınan";
    state->update(edited);
    state->undo();
    state->save();
    ASSERT_FALSE(state->isDirty());

    const auto fresh = h.makeEngineState();
    fresh->prepare(h.path("kasa.kdbx"));
    fresh->unlock("parola", std::nullopt);
    ASSERT_TRUE(fresh->database());
    const KdbxGroup& group = fresh->database()->root.groups[0];
    ASSERT_EQ(group.entries.size(), 1u);
    EXPECT_EQ(group.entries[0].title, "Kalıcı");
    EXPECT_EQ(group.entries[0].historyItems.size(), 0u);
}

TEST(AppStateEngine, AWrongPasswordLeavesItLockedWithTheEnginesText) {
    EngineHarness h;
    const auto state = h.makeEngineState();
    state->prepare(h.path("kasa.kdbx"));
    state->createDatabase(h.path("kasa.kdbx"), "doğru", std::nullopt);
    state->lock();
    state->unlock("yanlış", std::nullopt);
    EXPECT_TRUE(state->isLocked());
    EXPECT_EQ(state->lastError(), QStringLiteral("Ana parola veya anahtar dosyası hatalı."));
    state->unlock("doğru", std::nullopt);
    EXPECT_FALSE(state->isLocked());
    EXPECT_FALSE(state->lastError());
}

// The lock screen names what is wrong with the key file instead of blaming the credentials.
TEST(AppStateEngine, AKeyFileWithADoctypeIsRefusedWithItsOwnText) {
    EngineHarness h;
    const QString keyFile = h.path("anahtar.keyx");
    const std::string xml =
        "<?xml version=\"1.0\"?><!DOCTYPE KeyFile><KeyFile><Meta><Version>2.0</Version>"
        "</Meta><Key><Data>000102030405060708090A0B0C0D0E0F</Data></Key></KeyFile>";
    h.files->writeAtomically(keyFile, Bytes(xml.begin(), xml.end()));
    h.files->writeAtomically(h.path("kasa.kdbx"), KdbxFile::save(cheap(database(group("Kök", {entry("e")}))),
                                                                 KdbxKey("p", std::nullopt)));
    const auto state = h.makeEngineState();
    state->prepare(h.path("kasa.kdbx"));
    state->unlock("p", keyFile);
    EXPECT_TRUE(state->isLocked());
    EXPECT_EQ(state->lastError(),
              QStringLiteral("Veritabanı bozuk: anahtar dosyası DOCTYPE bildirimi içeriyor"));
}

TEST(AppStateEngine, DuplicateIdentifiersInAFileAreRepaired) {
    EngineHarness h;
    KdbxEntry first = entry("ilk");
    KdbxEntry second = first;
    second.title = "ikinci";
    const KdbxDatabase db = cheap(database(group("Kök", {first}, {group("Alt", {second})})));
    h.files->writeAtomically(h.path("ikiz.kdbx"), KdbxFile::save(db, KdbxKey("p", std::nullopt)));
    const auto state = h.makeEngineState();
    state->prepare(h.path("ikiz.kdbx"));
    state->unlock("p", std::nullopt);
    ASSERT_FALSE(state->isLocked()) << state->lastError().value_or("").toStdString();
    EXPECT_EQ(state->statusMessage(), "1 kaydın kimliği yinelenmişti, onarıldı.");
    EXPECT_FALSE(state->isDirty());
    EXPECT_NE(state->database()->root.groups[0].entries[0].id, first.id);
}

TEST(AppStateEngine, OpensAFixtureWithAKeyFileOnly) {
    EngineHarness h;
    const auto state = h.makeEngineState();
    state->prepare(
        QString::fromStdString(testsupport::fixturePath("kdbx/v40-argon2id-xmlkey1-only.kdbx").string()));
    state->unlock("", QString::fromStdString(testsupport::fixturePath("kdbx/keyfile-xml-v1.key").string()));
    EXPECT_FALSE(state->isLocked()) << state->lastError().value_or("").toStdString();

    state->lock();
    state->unlock("", QString::fromStdString(testsupport::fixturePath("kdbx/keyfile-raw32.key").string()));
    EXPECT_TRUE(state->isLocked());
    EXPECT_TRUE(state->lastError());
}

TEST(AppStateEngine, OpensAFixtureWhosePasswordIsEmpty) {
    EngineHarness h;
    const auto state = h.makeEngineState();
    state->prepare(QString::fromStdString(
        testsupport::fixturePath("kdbx/v41-argon2id-aes256-gzip-empty-password.kdbx").string()));
    state->unlock("", std::nullopt);
    EXPECT_FALSE(state->isLocked()) << state->lastError().value_or("").toStdString();
}

// A version 3 file whose stored rounds are raised to 2^63: the derivation alone would run for
// thousands of years on the window's thread. It is refused before it starts.
TEST(AppStateEngine, AKeyDerivationBeyondThisMachineIsRefusedAndTheStateStaysLocked) {
    EngineHarness h;
    Bytes file =
        testsupport::readFile(testsupport::fixturePath("kdbx/v31-aeskdf-aes256-salsa20-gzip-password.kdbx"));
    // The outer header: 12 bytes of signature and version, then fields of id, 16-bit length, data.
    bool patched = false;
    for (std::size_t at = 12; at + 3 <= file.size() && !patched;) {
        const std::uint8_t id = file[at];
        const std::size_t length = file[at + 1] | (file[at + 2] << 8);
        if (id == 0) break;
        if (id == 6) {  // the transform rounds
            ASSERT_EQ(length, 8u);
            for (std::size_t i = 0; i < 8; ++i) file[at + 3 + i] = i == 7 ? 0x80 : 0x00;
            patched = true;
        }
        at += 3 + length;
    }
    ASSERT_TRUE(patched);
    h.files->writeAtomically(h.path("ağır.kdbx"), file);

    const auto state = h.makeEngineState();
    state->prepare(h.path("ağır.kdbx"));
    state->unlock("parola", std::nullopt);
    EXPECT_TRUE(state->isLocked());
    ASSERT_TRUE(state->lastError());
    const std::string error = state->lastError()->toStdString();
    EXPECT_NE(error.find("Bu veritabanı açılmadı: AES-KDF'nin 9223372036854775808 turu"), std::string::npos)
        << error;
    EXPECT_NE(error.find("sürerdi (en çok 24 saat kabul edilir)"), std::string::npos) << error;
}
