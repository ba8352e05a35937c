#pragma once
// A reference-counted COM interface pointer: assigning one adds a reference to
// the new interface and releases the old one.

#include <unknwn.h>

#include <utility>

namespace Corvane::platform {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(Interface* pointer) : pointer_(pointer) { addRef(); }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) { addRef(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~ComPtr() { release(); }

    ComPtr& operator=(const ComPtr& other) {
        if (pointer_ != other.pointer_) {
            Interface* old = pointer_;
            pointer_ = other.pointer_;
            addRef();
            if (old) old->Release();
        }
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            release();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        release();
        return *this;
    }

    // Releases the interface and leaves the pointer null; a null pointer is left alone.
    void release() {
        if (pointer_) std::exchange(pointer_, nullptr)->Release();
    }

    // For out-parameters: releases what is held and hands out the slot.
    Interface** put() {
        release();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    void addRef() {
        if (pointer_) pointer_->AddRef();
    }

    Interface* pointer_ = nullptr;
};

}  // namespace Corvane::platform
