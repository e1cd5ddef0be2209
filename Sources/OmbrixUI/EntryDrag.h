#pragma once

#include <QString>

#include <set>
#include <span>

#include "OmbrixCore/Kdbx/UUID.h"

class QMimeData;

// Entries travel between the entry list and the group tree as plain text: each entry's id in
// the canonical upper-case form, one per line.
namespace EntryDrag {

QString text(std::span<const UUID> ids);

// A new mime object carrying `text(ids)` as text/plain.
QMimeData* mimeData(std::span<const UUID> ids);

// The ids named by the plain text of a drop, one per line. Lines that are not a UUID (a file
// name, a stray word) are skipped; an empty set means the drop is to be refused.
std::set<UUID> parse(const QMimeData* data);
std::set<UUID> parse(const QString& text);

}  // namespace EntryDrag
