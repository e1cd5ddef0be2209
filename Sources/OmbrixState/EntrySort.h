#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include <QMetaType>
#include <QString>
#include <QStringView>

#include "OmbrixCore/Kdbx/Models.h"

// The order of the entry list: a column and a direction.
struct EntrySort {
    enum class Column { manual, title, username, url, modified };
    static constexpr std::array<Column, 5> allColumns = {Column::manual, Column::title, Column::username,
                                                         Column::url, Column::modified};

    Column column = Column::title;
    bool ascending = true;

    // The stored name ("manual", "title", "username", "url", "modified"); also the column's id.
    static QString rawValue(Column column);
    // The column whose stored name is exactly `raw` (case-sensitive, whole text).
    static std::optional<Column> columnFromRawValue(QStringView raw);
    // The Turkish name the interface shows.
    static QString label(Column column);

    // The entries in this order. Manual keeps the given order whatever the direction. The other
    // columns sort stably ascending (texts the way a file browser lists names: the user's
    // collation, case set aside but still ordered, runs of digits by value; `modified` by time)
    // and reverse the whole result for descending, so equal keys come out in reverse input order.
    std::vector<KdbxEntry> apply(std::vector<KdbxEntry> entries) const;
    // The same order as positions into `entries`, for callers that keep pointers.
    std::vector<std::size_t> order(std::span<const KdbxEntry* const> entries) const;

    // A click on a column: the same column flips the direction, another one takes it ascending.
    void toggle(Column column);

    friend bool operator==(const EntrySort&, const EntrySort&) = default;
};

Q_DECLARE_METATYPE(EntrySort)
