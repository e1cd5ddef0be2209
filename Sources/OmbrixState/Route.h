#pragma once

#include <optional>
#include <type_traits>
#include <variant>

#include <QMetaType>
#include <QString>

#include "OmbrixCore/Kdbx/UUID.h"

// The sheet to show: an entry or group editor in create or edit mode, or the password generator
// (with the entry that would receive the password, where there is one).
class Route {
  public:
    struct NewEntry {
        UUID groupID;
        friend bool operator==(const NewEntry&, const NewEntry&) = default;
    };
    struct EditEntry {
        UUID id;
        friend bool operator==(const EditEntry&, const EditEntry&) = default;
    };
    struct NewGroup {
        UUID parentID;
        friend bool operator==(const NewGroup&, const NewGroup&) = default;
    };
    struct EditGroup {
        UUID id;
        friend bool operator==(const EditGroup&, const EditGroup&) = default;
    };
    struct Generator {
        std::optional<UUID> target;
        friend bool operator==(const Generator&, const Generator&) = default;
    };
    using Case = std::variant<NewEntry, EditEntry, NewGroup, EditGroup, Generator>;

    // A generator route; the other cases are built from their structs.
    Route() : case_(Generator{}) {}
    // Implicit, so that `Route::EditEntry{id}` converts to a route.
    template <class T>
    requires std::is_constructible_v<Case, T> Route(T c) : case_(std::move(c)) {}

    static Route newEntry(const UUID& groupID) { return NewEntry{groupID}; }
    static Route editEntry(const UUID& id) { return EditEntry{id}; }
    static Route newGroup(const UUID& parentID) { return NewGroup{parentID}; }
    static Route editGroup(const UUID& id) { return EditGroup{id}; }
    static Route generator(std::optional<UUID> target = std::nullopt) { return Generator{target}; }

    const Case& value() const { return case_; }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&case_);
    }

    // The identity a presented sheet is known by: the case's name, "-" and the identifier's
    // canonical text ("generator--" without a target), so that another route replaces the sheet.
    QString id() const;

    friend bool operator==(const Route&, const Route&) = default;

  private:
    Case case_;
};

Q_DECLARE_METATYPE(Route)
