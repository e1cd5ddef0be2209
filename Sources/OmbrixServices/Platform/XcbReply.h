#pragma once

#include <cstdlib>
#include <memory>

// An xcb reply, owned: xcb allocates each reply with malloc and leaves freeing it to the caller.
template <typename T>
struct XcbReplyDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbReplyDeleter<T>>;
