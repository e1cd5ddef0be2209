#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "OmbrixCore/Foundation/Precondition.h"

// An ordered list with value semantics whose copies share their storage until one of them
// changes. A change copies only what it touches: the list of element pointers, and the one
// element it changes when another list still holds it. Copying a whole database tree is
// therefore a handful of reference-count increments, and undo snapshots that differ in one
// entry share everything else.
//
// T may be incomplete where the list is declared (a group holds a list of groups).
template <class T>
class CowList {
    using Element = std::shared_ptr<T>;
    using Items = std::vector<Element>;

  public:
    // Random-access iterator over the elements, always read-only.
    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using iterator_concept = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        const_iterator() = default;

        reference operator*() const { return **it_; }
        pointer operator->() const { return it_->get(); }
        reference operator[](difference_type n) const { return *it_[n]; }

        const_iterator& operator++() { return ++it_, *this; }
        const_iterator operator++(int) { return const_iterator(it_++); }
        const_iterator& operator--() { return --it_, *this; }
        const_iterator operator--(int) { return const_iterator(it_--); }
        const_iterator& operator+=(difference_type n) { return it_ += n, *this; }
        const_iterator& operator-=(difference_type n) { return it_ -= n, *this; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return a.it_ - b.it_;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.it_ == b.it_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.it_ <=> b.it_; }

      private:
        friend class CowList;
        using Base = typename Items::const_iterator;
        explicit const_iterator(Base it) : it_(it) {}
        Base it_{};
    };
    using iterator = const_iterator;
    using value_type = T;
    using size_type = std::size_t;

    CowList() = default;
    // Implicit on purpose: a vector converts to a list as an initializer list does.
    CowList(std::vector<T> values) {
        if (values.empty()) return;
        auto items = std::make_shared<Items>();
        items->reserve(values.size());
        for (T& value : values) items->push_back(std::make_shared<T>(std::move(value)));
        items_ = std::move(items);
    }
    CowList(std::initializer_list<T> values) : CowList(std::vector<T>(values)) {}

    std::size_t size() const noexcept { return items_ ? items_->size() : 0; }
    bool empty() const noexcept { return size() == 0; }

    const T& operator[](std::size_t i) const { return *(*items_)[i]; }
    const T& at(std::size_t i) const {
        OMBRIX_PRECONDITION(i < size(), "CowList::at: index out of range");
        return (*this)[i];
    }
    const T& front() const { return at(0); }
    const T& back() const { return at(size() - 1); }

    const_iterator begin() const { return items_ ? const_iterator(items_->cbegin()) : const_iterator(); }
    const_iterator end() const { return items_ ? const_iterator(items_->cend()) : const_iterator(); }

    std::vector<T> toVector() const { return std::vector<T>(begin(), end()); }

    // True when both lists hold the very same storage (and are therefore equal).
    bool sharesStorageWith(const CowList& other) const noexcept { return items_ == other.items_; }

    // A writable reference to element i, valid until the next change of this list. Detaches
    // the pointer list and the element from every other list that shares them.
    T& mutableAt(std::size_t i) {
        OMBRIX_PRECONDITION(i < size(), "CowList::mutableAt: index out of range");
        Element& slot = (*ownItems())[i];
        if (!isUnique(slot)) slot = std::make_shared<T>(*slot);
        return *slot;
    }

    // Calls fn with a writable reference to element i.
    template <class Fn>
    void mutate(std::size_t i, Fn&& fn) {
        std::forward<Fn>(fn)(mutableAt(i));
    }

    void set(std::size_t i, T value) {
        OMBRIX_PRECONDITION(i < size(), "CowList::set: index out of range");
        (*ownItems())[i] = std::make_shared<T>(std::move(value));
    }

    void push_back(T value) { ownItems()->push_back(std::make_shared<T>(std::move(value))); }
    // Appends an element that other lists may hold too (a change through any of them copies it
    // first, as for the elements of copied lists).
    void pushShared(std::shared_ptr<T> element) {
        OMBRIX_PRECONDITION(element != nullptr, "CowList::pushShared: no element");
        ownItems()->push_back(std::move(element));
    }

    void insert(std::size_t index, T value) {
        OMBRIX_PRECONDITION(index <= size(), "CowList::insert: index out of range");
        Items& items = *ownItems();
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(index),
                     std::make_shared<T>(std::move(value)));
    }

    void erase(std::size_t index) {
        OMBRIX_PRECONDITION(index < size(), "CowList::erase: index out of range");
        Items& items = *ownItems();
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    }

    void clear() noexcept { items_.reset(); }

    // Same length and equal elements in order; shared storage or shared elements are equal at once.
    friend bool operator==(const CowList& a, const CowList& b) {
        if (a.sharesStorageWith(b)) return true;
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const Element& x = (*a.items_)[i];
            const Element& y = (*b.items_)[i];
            if (x != y && !(*x == *y)) return false;
        }
        return true;
    }

  private:
    // use_count() of 1 means no other list can see the object; the fence orders our writes after
    // the reads of a list on another thread that has just let go of it.
    template <class P>
    static bool isUnique(const std::shared_ptr<P>& p) {
        if (p.use_count() != 1) return false;
        std::atomic_thread_fence(std::memory_order_acquire);
        return true;
    }

    Items* ownItems() {
        if (!items_) {
            items_ = std::make_shared<Items>();
        } else if (!isUnique(items_)) {
            items_ = std::make_shared<Items>(*items_);
        }
        return items_.get();
    }

    std::shared_ptr<Items> items_;
};
