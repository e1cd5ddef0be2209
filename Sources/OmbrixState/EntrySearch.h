#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include "OmbrixCore/Kdbx/Models.h"

// The search of the entry list. A query is split into words on the space character; an entry
// matches when every word occurs in its searched text: title, user name, address, notes, tags
// and the names and values of its unprotected custom fields, the parts joined by one space so
// that no word spans two of them. The password, protected fields and history never take part.
// Both sides are lower-cased with Unicode's locale-independent mapping (I becomes i, never ı)
// and compared in NFC, so a precomposed letter matches the same letter with a combining mark.
class EntrySearch {
  public:
    explicit EntrySearch(QStringView query);

    // No words: the query is blank and matches every entry.
    bool isEmpty() const { return words_.isEmpty(); }
    bool matches(const KdbxEntry& entry) const;

    // The query's white space trimmed from both ends: the Unicode space separators and the tab,
    // not line breaks.
    static QStringView trimmed(QStringView text);
    // The entry's searched text, lower-cased and in NFC.
    static QString searchedText(const KdbxEntry& entry);

  private:
    QStringList words_;
};
