#include "OmbrixState/EntrySort.h"

#include <algorithm>
#include <numeric>
#include <string>

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

namespace {

// Names sort as the user's file browser lists them. Without a configured locale (C or POSIX,
// typical of a bare session) Turkish collation stands in, the language of the interface.
const QCollator& nameCollator() {
    static const QCollator collator = [] {
        QLocale locale = QLocale::system();
        if (locale.language() == QLocale::C) locale = QLocale(QStringLiteral("tr_TR"));
        QCollator c(locale);
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseSensitive);
        c.setIgnorePunctuation(false);
        return c;
    }();
    return collator;
}

const std::string& textKey(const KdbxEntry& entry, EntrySort::Column column) {
    switch (column) {
        case EntrySort::Column::username:
            return entry.username;
        case EntrySort::Column::url:
            return entry.url;
        default:
            return entry.title;
    }
}

}  // namespace

QString EntrySort::rawValue(Column column) {
    switch (column) {
        case Column::manual:
            return QStringLiteral("manual");
        case Column::title:
            return QStringLiteral("title");
        case Column::username:
            return QStringLiteral("username");
        case Column::url:
            return QStringLiteral("url");
        case Column::modified:
            return QStringLiteral("modified");
    }
    return {};
}

std::optional<EntrySort::Column> EntrySort::columnFromRawValue(QStringView raw) {
    for (Column column : allColumns) {
        if (rawValue(column) == raw) return column;
    }
    return std::nullopt;
}

QString EntrySort::label(Column column) {
    switch (column) {
        case Column::manual:
            return QStringLiteral("Kendi sıram");
        case Column::title:
            return QStringLiteral("Başlık");
        case Column::username:
            return QStringLiteral("Kullanıcı");
        case Column::url:
            return QStringLiteral("Adres");
        case Column::modified:
            return QStringLiteral("Değiştirilme");
    }
    return {};
}

std::vector<std::size_t> EntrySort::order(std::span<const KdbxEntry* const> entries) const {
    std::vector<std::size_t> positions(entries.size());
    std::iota(positions.begin(), positions.end(), std::size_t{0});
    if (column == Column::manual || entries.size() < 2) return positions;

    if (column == Column::modified) {
        std::stable_sort(positions.begin(), positions.end(), [&](std::size_t a, std::size_t b) {
            return entries[a]->modified < entries[b]->modified;
        });
    } else {
        // One collation key per entry instead of a collator call per comparison.
        const QCollator& collator = nameCollator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(entries.size());
        for (const KdbxEntry* entry : entries) {
            keys.push_back(collator.sortKey(QString::fromStdString(textKey(*entry, column))));
        }
        std::stable_sort(positions.begin(), positions.end(),
                         [&](std::size_t a, std::size_t b) { return keys[a].compare(keys[b]) < 0; });
    }
    if (!ascending) std::reverse(positions.begin(), positions.end());
    return positions;
}

std::vector<KdbxEntry> EntrySort::apply(std::vector<KdbxEntry> entries) const {
    if (column == Column::manual || entries.size() < 2) return entries;
    std::vector<const KdbxEntry*> pointers;
    pointers.reserve(entries.size());
    for (const KdbxEntry& entry : entries) pointers.push_back(&entry);
    std::vector<KdbxEntry> sorted;
    sorted.reserve(entries.size());
    for (std::size_t i : order(pointers)) sorted.push_back(std::move(entries[i]));
    return sorted;
}

void EntrySort::toggle(Column newColumn) {
    if (newColumn == column) {
        ascending = !ascending;
    } else {
        column = newColumn;
        ascending = true;
    }
}
