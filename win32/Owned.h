#pragma once

#include <windows.h>

#include <utility>

// One handle the program makes or is given (a font, a brush, a menu, a
// window, a registry key, a device context, a block of memory), given back
// to Windows when its owner goes. Move-only: a handle has one owner.
template <typename Handle, BOOL(WINAPI* Free)(Handle)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle)
        : handle_(handle)
    {
    }
    ~Owned() { Reset(); }
    Owned(Owned&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr))
    {
    }
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const { return handle_; }
    // Hands the handle to whatever takes it over (a menu its submenu).
    Handle Release() { return std::exchange(handle_, nullptr); }

private:
    void Reset()
    {
        if (handle_ != nullptr)
            Free(handle_);
        handle_ = nullptr;
    }

    Handle handle_ = nullptr;
};

namespace owned {
// DeleteObject takes any GDI object; each kind gets its own name here.
inline BOOL WINAPI FreeFont(HFONT font)
{
    return DeleteObject(font);
}
inline BOOL WINAPI FreeBrush(HBRUSH brush)
{
    return DeleteObject(brush);
}
inline BOOL WINAPI CloseKey(HKEY key)
{
    return RegCloseKey(key) == ERROR_SUCCESS;
}
// The screen's: GetDC(nullptr).
inline BOOL WINAPI ReleaseScreenDC(HDC dc)
{
    return ReleaseDC(nullptr, dc);
}
// What CommandLineToArgvW answers.
inline BOOL WINAPI FreeArguments(LPWSTR* arguments)
{
    return LocalFree(arguments) == nullptr;
}
} // namespace owned

using OwnedFont = Owned<HFONT, owned::FreeFont>;
using OwnedBrush = Owned<HBRUSH, owned::FreeBrush>;
// A popup menu takes its submenus with it.
using OwnedMenu = Owned<HMENU, DestroyMenu>;
using OwnedWindow = Owned<HWND, DestroyWindow>;
using OwnedKey = Owned<HKEY, owned::CloseKey>;
using OwnedScreenDC = Owned<HDC, owned::ReleaseScreenDC>;
using OwnedArguments = Owned<LPWSTR*, owned::FreeArguments>;
