// RAII owners for Windows handles. Each kind is one line, named by the function that closes it:
//
//   using UniqueKey = Unique<HKEY, ::RegCloseKey>;
//
// An owner is non-copyable and movable; null is "nothing held". Handles that need more than their
// own value to be given back (a window's DC, an object selected into a DC) have small classes below.
#pragma once
#include <windows.h>
#include <utility>

namespace hv::toolkit {

template <class T, auto Close>
class Unique {
public:
    Unique() = default;
    explicit Unique(T h) : h_(h) {}
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : h_(o.release()) {}
    Unique& operator=(Unique&& o) noexcept {
        reset(o.release());
        return *this;
    }

    T get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    T release() { return std::exchange(h_, nullptr); }
    void reset(T h = nullptr) {
        if (h_) Close(h_);
        h_ = h;
    }
    // For out-parameters of API calls: releases what is held and hands out the slot.
    T* put() {
        reset();
        return &h_;
    }

private:
    T h_ = nullptr;
};

// Kernel handles that are null when absent. (Functions that report failure with
// INVALID_HANDLE_VALUE, as CreateToolhelp32Snapshot does, are checked before their handle is owned.)
using UniqueKernelHandle = Unique<HANDLE, ::CloseHandle>;
using UniqueRegKey = Unique<HKEY, ::RegCloseKey>;
using UniqueMenu = Unique<HMENU, ::DestroyMenu>;
using UniqueIcon = Unique<HICON, ::DestroyIcon>;
using UniqueEnhMetaFile = Unique<HENHMETAFILE, ::DeleteEnhMetaFile>;
// GDI objects, each of its own type, so that none has to be cast back from HGDIOBJ.
using UniqueFont = Unique<HFONT, ::DeleteObject>;
using UniqueBrush = Unique<HBRUSH, ::DeleteObject>;
using UniqueRegion = Unique<HRGN, ::DeleteObject>;
using UniqueBitmap = Unique<HBITMAP, ::DeleteObject>;
// A device context made by CreateCompatibleDC (or CreateDC).
using UniqueMemoryDc = Unique<HDC, ::DeleteDC>;
// Memory that an API allocated with LocalAlloc and the caller frees (FormatMessage with
// FORMAT_MESSAGE_ALLOCATE_BUFFER, ConvertSidToStringSid, ...), held as the pointer type it has.
template <class T>
using UniqueLocal = Unique<T, ::LocalFree>;

// The DC of a window (null: the screen), from GetDC; ReleaseDC needs the window as well.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a DC for one scope, and the object it replaced back at the end.
// A null object selects nothing.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_) ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    // False when nothing was selected (no DC, no object, or the selection failed).
    explicit operator bool() const { return old_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace hv::toolkit
