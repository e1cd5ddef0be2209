#include "OmbrixUI/MainActions.h"

#include "OmbrixState/AppState.h"

namespace MainActions {

std::optional<UUID> targetGroup(const AppState& state) {
    if (state.selectedGroupID()) return state.selectedGroupID();
    if (state.database()) return state.database()->root.id;
    return std::nullopt;
}

void newEntry(AppState& state) {
    if (const std::optional<UUID> group = targetGroup(state)) state.setRoute(Route::newEntry(*group));
}

void newGroup(AppState& state) {
    if (const std::optional<UUID> group = targetGroup(state)) state.setRoute(Route::newGroup(*group));
}

}  // namespace MainActions
