#pragma once

#include <windows.h>

#include <utility>

// One handle the window makes (a font, a brush, a menu), given back to
// Windows when its owner goes. Move-only: a handle has one owner.
template <typename Handle, BOOL(WINAPI* Release)(Handle)>
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

private:
    void Reset()
    {
        if (handle_ != nullptr)
            Release(handle_);
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
} // namespace owned

using OwnedFont = Owned<HFONT, owned::FreeFont>;
using OwnedBrush = Owned<HBRUSH, owned::FreeBrush>;
// A popup menu takes its submenus with it.
using OwnedMenu = Owned<HMENU, DestroyMenu>;
