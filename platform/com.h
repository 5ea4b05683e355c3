// COM for the photo decoder: the apartment of the thread, and an owner for interface pointers.
#pragma once

#include <objbase.h>

#include <utility>

namespace quillmere {

// CoInitializeEx/CoUninitialize for the user-interface thread.
class ScopedComApartment {
public:
    ScopedComApartment()
        : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;
    ~ScopedComApartment() {
        if (SUCCEEDED(m_result)) {
            CoUninitialize();
        }
    }

private:
    HRESULT m_result;
};

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            m_ptr = std::exchange(other.m_ptr, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // For out-parameters: the current pointer is released first.
    T** put() {
        reset();
        return &m_ptr;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (m_ptr != nullptr) {
            std::exchange(m_ptr, nullptr)->Release();
        }
    }

private:
    T* m_ptr = nullptr;
};

}  // namespace quillmere
