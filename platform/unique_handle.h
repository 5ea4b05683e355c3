// One owner template for every kind of handle, and the typedefs the program uses.
#pragma once

#include <windows.h>

#include <utility>

namespace quillmere {

// Traits: `Handle`, `static Handle Invalid()`, `static void Close(Handle)`.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : m_handle(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Traits::Invalid(); }

    // For out-parameters: the current handle is closed first.
    Handle* put() {
        reset();
        return &m_handle;
    }

    Handle release() { return std::exchange(m_handle, Traits::Invalid()); }

    void reset(Handle h = Traits::Invalid()) {
        if (m_handle != Traits::Invalid()) {
            Traits::Close(m_handle);
        }
        m_handle = h;
    }

private:
    Handle m_handle = Traits::Invalid();
};

template <typename H, auto CloseFn>
struct NullHandleTraits {
    using Handle = H;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseFn(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

using UniqueHKey = UniqueHandle<NullHandleTraits<HKEY, RegCloseKey>>;
using UniqueKernelHandle = UniqueHandle<NullHandleTraits<HANDLE, CloseHandle>>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace quillmere
