#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/Models.h"

// The database the benchmarks measure: 10,000 entries with the fields of a real vault, each with
// older versions of itself in its history.
constexpr int benchEntryCount = 10000;

struct BenchDatabaseShape {
    // Child groups of the root sharing the entries evenly; 0: the root holds them itself.
    int groups = 0;
    int historyPerEntry = 10;
    // Two more custom fields, one of them protected, as a saved file carries them.
    bool moreCustomFields = false;
    // What real files carry beyond that: notes of several lines, a second protected field, XML
    // this program does not model (kept and written back) and attachments the entries refer to.
    bool realistic = false;
};

constexpr int benchAttachmentCount = 32;

// Note text of a few hundred bytes that differs from entry to entry and version to version.
inline std::string benchNotes(int n, int version) {
    std::string notes = "Not " + std::to_string(n) + " (sürüm " + std::to_string(version) + "):\n";
    for (int line = 0; line < 6; ++line) {
        notes += "Satır " + std::to_string(line) + ": hesap " + std::to_string(n * 13 + line * 7 + version) +
                 " için açıklama, kurtarma adımları ve iletişim bilgileri <ayrıntı & not>.\n";
    }
    return notes;
}

// Elements of other programs: custom data and an attachment reference.
inline std::vector<std::string> benchUnknownXML(int n) {
    return {
        "<CustomData><Item><Key>eklenti.ayar</Key><Value>deger-" + std::to_string(n) +
            "</Value><LastModificationTime>2023-11-14T22:13:20Z</LastModificationTime></Item></CustomData>",
        "<Binary><Key>ek-" + std::to_string(n) + ".txt</Key><Value Ref=\"" +
            std::to_string(n % benchAttachmentCount) + "\"/></Binary>"};
}

// The attachments, as the reader keeps them in the root group: 64 KiB each, partly compressible.
inline std::string benchAttachmentsWrapper() {
    std::string wrapper = "<OmbrixPreservedBinaries>";
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::uint32_t state = 2463534242u;
    for (int i = 0; i < benchAttachmentCount; ++i) {
        wrapper += "<Binary Flags=\"1\">";
        // 87,384 base64 characters: 65,536 bytes, a quarter of them repeating.
        for (int c = 0; c < 87384; ++c) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            wrapper += c % 4 == 0 ? 'A' : alphabet[state % 64];
        }
        wrapper += "</Binary>";
    }
    return wrapper + "</OmbrixPreservedBinaries>";
}

// The n-th entry as it stood at `version`: versions differ in password and modification time.
// Modification times are spread over the entries so that sorting by them has work to do.
inline KdbxEntry benchEntry(int n, int version, bool moreCustomFields, bool realistic = false) {
    KdbxEntry e;
    e.id = UUID::random();
    e.title = "Kayıt " + std::to_string(n);
    e.username = "kullanici" + std::to_string(n) + "@example.com";
    e.password = SecureString("parola-" + std::to_string(n * 7919 + version));
    e.url = "https://site" + std::to_string(n) + ".example.com/giris";
    e.notes = "Not " + std::to_string(n) + ": birkaç satırlık açıklama metni.";
    e.iconID = n % 69;
    e.customFields["PIN"] = std::to_string(1000 + n % 9000);
    if (moreCustomFields) {
        e.customFields["Kurtarma kodu"] = "kod-" + std::to_string(n * 31 + version);
        e.customFields["Hesap no"] = "TR" + std::to_string(100000 + n);
        e.protectedCustomFields = {"Kurtarma kodu"};
    }
    if (realistic) {
        e.notes = benchNotes(n, version);
        e.customFields["Güvenlik sorusu"] = "İlk evcil hayvanın adı: Pamuk " + std::to_string(n + version);
        e.protectedCustomFields.insert("Güvenlik sorusu");
        e.unknownXML = benchUnknownXML(n);
    }
    e.tags = {"iş", "önemli"};
    e.created = e.accessed = Timestamp(std::chrono::seconds(1'600'000'000));
    e.modified = Timestamp(std::chrono::seconds(1'700'000'000 + (n * 37) % 100000 + version));
    return e;
}

inline KdbxDatabase benchDatabase(const BenchDatabaseShape& shape) {
    const auto entries = [&](int first, int step) {
        std::vector<KdbxEntry> out;
        for (int n = first; n < benchEntryCount; n += step) {
            KdbxEntry e = benchEntry(n, shape.historyPerEntry, shape.moreCustomFields, shape.realistic);
            std::vector<KdbxEntry> history;
            for (int v = 0; v < shape.historyPerEntry; ++v) {
                KdbxEntry old = benchEntry(n, v, shape.moreCustomFields, shape.realistic);
                old.id = e.id;
                history.push_back(std::move(old));
            }
            e.historyItems = CowList<KdbxEntry>(std::move(history));
            out.push_back(std::move(e));
        }
        return CowList<KdbxEntry>(std::move(out));
    };

    KdbxDatabase db;
    db.meta.databaseName = "Kasa";
    db.meta.historyMaxItems = shape.historyPerEntry;
    db.root.id = UUID::random();
    db.root.name = "Kök";
    if (shape.groups == 0) {
        db.root.entries = entries(0, 1);
    } else {
        std::vector<KdbxGroup> children;
        for (int g = 0; g < shape.groups; ++g) {
            KdbxGroup group;
            group.id = UUID::random();
            group.name = "Grup " + std::to_string(g);
            group.entries = entries(g, shape.groups);
            children.push_back(std::move(group));
        }
        db.root.groups = CowList<KdbxGroup>(std::move(children));
    }
    if (shape.realistic) db.root.unknownXML.push_back(benchAttachmentsWrapper());
    return db;
}

// 200 entries at the root, the first `count` each with an attachment of 20 MB / count of random
// (incompressible) bytes, kept in the root group as a loaded file holds them.
constexpr int benchLargeAttachmentCount = 20;
inline KdbxDatabase benchDatabaseWithAttachments(int count = benchLargeAttachmentCount) {
    std::mt19937 random(7);
    std::string binaries = "<" + std::string(KdbxPreserve::binaries) + ">";
    for (int i = 0; i < count; ++i) {
        Bytes data(static_cast<std::size_t>(20'000'000 / count));
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        binaries += "<Binary Flags=\"0\">";
        Base64::appendEncoded(binaries, data);
        binaries += "</Binary>";
    }
    binaries += "</" + std::string(KdbxPreserve::binaries) + ">";

    KdbxGroup root;
    root.id = UUID::random();
    root.name = "Kök";
    std::vector<KdbxEntry> entries;
    for (int i = 0; i < 200; ++i) {
        KdbxEntry e;
        e.id = UUID::random();
        e.title = "Kayıt " + std::to_string(i);
        e.username = "kullanici" + std::to_string(i);
        e.password = SecureString("parola-" + std::to_string(i));
        if (i < count) {
            e.unknownXML = {"<Binary><Key>belge" + std::to_string(i) + ".pdf</Key><Value Ref=\"" +
                            std::to_string(i) + "\"/></Binary>"};
        }
        entries.push_back(std::move(e));
    }
    root.entries = CowList<KdbxEntry>(std::move(entries));
    root.unknownXML = {binaries};
    KdbxMeta meta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
    return KdbxDatabase(meta, root, KdbxCipher::chacha20, KdfSettings::aesKdf(1000), true, {4, 1});
}
