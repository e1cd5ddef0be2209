#pragma once

#include <optional>

#include "OmbrixCore/Kdbx/UUID.h"

class AppState;

// The new-entry and new-group actions that are not bound to one group (toolbar, sidebar header,
// list header, empty group): they act on the selected group, else on the root group of the open
// database, and do nothing without a database. Whether the selected group still exists is not
// checked; the editor reports a group that is gone.
namespace MainActions {

std::optional<UUID> targetGroup(const AppState& state);
void newEntry(AppState& state);
void newGroup(AppState& state);

}  // namespace MainActions
