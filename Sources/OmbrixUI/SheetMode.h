#pragma once

#include <utility>
#include <variant>

#include "OmbrixCore/Kdbx/UUID.h"

// Whether an editor sheet creates an item under a group (`CreateT`, holding that group's id) or
// changes a copy of a stored one (`EditT`, holding the copy, of type `Item`).
template <class CreateT, class EditT, class Item>
class SheetMode {
  public:
    using Create = CreateT;
    using Edit = EditT;

    static SheetMode create(const UUID& groupID) { return SheetMode(Create{groupID}); }
    static SheetMode edit(const Item& item) { return SheetMode(Edit{item}); }

    bool isCreate() const { return std::holds_alternative<Create>(value_); }
    const Create* asCreate() const { return std::get_if<Create>(&value_); }
    const Edit* asEdit() const { return std::get_if<Edit>(&value_); }

  private:
    explicit SheetMode(std::variant<Create, Edit> value) : value_(std::move(value)) {}
    std::variant<Create, Edit> value_;
};
