// One RAII owner for every kind of Windows handle: the traits say what "empty" is and how to
// close. Non-copyable, movable.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <utility>

namespace hv::toolkit {

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        reset(o.release());
        return *this;
    }

    Type get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Empty(); }
    Type release() { return std::exchange(h_, Traits::Empty()); }
    void reset(Type h = Traits::Empty()) {
        if (h_ != Traits::Empty()) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters of API calls: releases what is held and hands out the slot.
    Type* put() {
        reset();
        return &h_;
    }

private:
    Type h_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct WindowTraits {
    using Type = HWND;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::DestroyWindow(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::ImageList_Destroy(h); }
};
struct EnhMetaFileTraits {
    using Type = HENHMETAFILE;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::DeleteEnhMetaFile(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueImageList = UniqueHandle<ImageListTraits>;
using UniqueEnhMetaFile = UniqueHandle<EnhMetaFileTraits>;

}  // namespace hv::toolkit
