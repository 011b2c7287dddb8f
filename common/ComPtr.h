// The one COM smart pointer of the project.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename I> class com_ptr
{
public:
    com_ptr() = default;
    com_ptr(std::nullptr_t) {}
    // Takes a reference of its own.
    explicit com_ptr(I* p) : p_(p)
    {
        if (p_)
            p_->AddRef();
    }
    com_ptr(const com_ptr& other) : com_ptr(other.p_) {}
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(const com_ptr& other)
    {
        com_ptr(other).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& other) noexcept
    {
        com_ptr(std::move(other)).swap(*this);
        return *this;
    }
    ~com_ptr() { reset(); }

    // Adopts a reference the caller already owns.
    static com_ptr attach(I* p)
    {
        com_ptr result;
        result.p_ = p;
        return result;
    }

    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    I** put()
    {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    I* detach() { return std::exchange(p_, nullptr); }
    void reset()
    {
        if (I* p = std::exchange(p_, nullptr))
            p->Release();
    }
    void swap(com_ptr& other) noexcept { std::swap(p_, other.p_); }

    template <typename Other> HRESULT query(com_ptr<Other>& out, REFIID iid) const
    {
        if (!p_)
            return E_POINTER;
        return p_->QueryInterface(iid, out.put_void());
    }

private:
    I* p_ = nullptr;
};
