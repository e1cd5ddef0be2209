#pragma once

#include <QString>

#include <cstdint>

// A count as the interface writes it: Turkish digit grouping, "10.000", as the database's own
// figures read, so that "10.000 kayıt" never stands beside an ungrouped "10000".
QString brandCount(std::int64_t count);
