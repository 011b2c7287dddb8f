// Owners for Win32 and COM resources: one small type per kind, each closing
// exactly what it holds.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

template <typename Traits> class unique_resource
{
    using T = typename Traits::type;

public:
    unique_resource() = default;
    explicit unique_resource(T value) : value_(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    T get() const { return value_; }
    T* put()
    {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Traits::invalid()); }
    void reset(T value = Traits::invalid())
    {
        if (value_ != Traits::invalid())
            Traits::close(value_);
        value_ = value;
    }
    explicit operator bool() const { return value_ != Traits::invalid(); }

private:
    T value_ = Traits::invalid();
};

struct handle_traits {
    using type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using unique_handle = unique_resource<handle_traits>;

// CreateFileW reports failure as INVALID_HANDLE_VALUE rather than null.
struct file_traits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using unique_file = unique_resource<file_traits>;

struct find_traits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
using unique_find = unique_resource<find_traits>;

struct hkey_traits {
    using type = HKEY;
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};
using unique_hkey = unique_resource<hkey_traits>;

struct hmodule_traits {
    using type = HMODULE;
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE h) { FreeLibrary(h); }
};
using unique_hmodule = unique_resource<hmodule_traits>;

struct hwnd_traits {
    using type = HWND;
    static HWND invalid() { return nullptr; }
    static void close(HWND h) { DestroyWindow(h); }
};
using unique_hwnd = unique_resource<hwnd_traits>;

struct bstr_traits {
    using type = BSTR;
    static BSTR invalid() { return nullptr; }
    static void close(BSTR s) { SysFreeString(s); }
};

// A BSTR with one owner. Null and empty are alike to every reader.
class unique_bstr : public unique_resource<bstr_traits>
{
public:
    unique_bstr() = default;
    explicit unique_bstr(BSTR value) : unique_resource(value) {}
    explicit unique_bstr(const wchar_t* text) : unique_resource(text ? SysAllocString(text) : nullptr) {}
    unique_bstr(const wchar_t* text, UINT length) : unique_resource(SysAllocStringLen(text, length)) {}
    const wchar_t* c_str() const { return get() ? get() : L""; }
    UINT length() const { return SysStringLen(get()); }
    bool empty() const { return length() == 0; }
};

struct safearray_traits {
    using type = SAFEARRAY*;
    static SAFEARRAY* invalid() { return nullptr; }
    static void close(SAFEARRAY* a) { SafeArrayDestroy(a); }
};
using unique_safearray = unique_resource<safearray_traits>;

// A VARIANT cleared on every path.
class unique_variant
{
public:
    unique_variant() { VariantInit(&value_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { VariantClear(&value_); }
    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }
    VARIANT* put()
    {
        VariantClear(&value_);
        return &value_;
    }
    VARIANT release()
    {
        VARIANT out = value_;
        VariantInit(&value_);
        return out;
    }

private:
    VARIANT value_;
};

// Access to a SAFEARRAY's data for the length of a scope: an exception
// between access and release no longer leaves the array locked.
class safearray_data
{
public:
    explicit safearray_data(SAFEARRAY* array) : array_(array), hr_(SafeArrayAccessData(array, &data_)) {}
    safearray_data(const safearray_data&) = delete;
    safearray_data& operator=(const safearray_data&) = delete;
    ~safearray_data()
    {
        if (SUCCEEDED(hr_))
            SafeArrayUnaccessData(array_);
    }
    HRESULT result() const { return hr_; }
    void* get() const { return data_; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
    HRESULT hr_;
};

// The attributes of a type library, given back to it on scope exit.
class unique_tlibattr
{
public:
    explicit unique_tlibattr(ITypeLib* library) : library_(library), hr_(library->GetLibAttr(&attributes_)) {}
    unique_tlibattr(const unique_tlibattr&) = delete;
    unique_tlibattr& operator=(const unique_tlibattr&) = delete;
    ~unique_tlibattr()
    {
        if (attributes_)
            library_->ReleaseTLibAttr(attributes_);
    }
    HRESULT result() const { return hr_; }
    const TLIBATTR* operator->() const { return attributes_; }

private:
    ITypeLib* library_;
    TLIBATTR* attributes_ = nullptr;
    HRESULT hr_;
};

// Owns a critical section from construction to destruction.
class critical_section
{
public:
    critical_section() { InitializeCriticalSection(&section_); }
    ~critical_section() { DeleteCriticalSection(&section_); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;
    CRITICAL_SECTION& get() { return section_; }

private:
    CRITICAL_SECTION section_;
};

// Holds a critical section for the length of a scope.
class critical_section_lock
{
public:
    explicit critical_section_lock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    explicit critical_section_lock(critical_section& section) : critical_section_lock(section.get()) {}
    critical_section_lock(const critical_section_lock&) = delete;
    critical_section_lock& operator=(const critical_section_lock&) = delete;
    ~critical_section_lock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION& section_;
};

// COM for the current thread, undone on scope exit when it was done here.
class com_apartment
{
public:
    explicit com_apartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;
    ~com_apartment()
    {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};
