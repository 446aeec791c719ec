#include "tests/ui/WindowProbe.h"

#include <commctrl.h>
#include <wincodec.h>
#include <windowsx.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <iterator>
#include <optional>

#include "toolkit/Form.h"
#include "toolkit/UniqueHandle.h"

namespace hv::test {
namespace {

using Microsoft::WRL::ComPtr;

LPARAM KeyData(UINT virtualKey, bool altDown, bool release) {
    const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | (static_cast<LPARAM>(scan) << 16);
    if (altDown) data |= LPARAM{1} << 29;
    if (release) data |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
    return data;
}

LPARAM PointData(POINT p) { return MAKELPARAM(p.x, p.y); }

struct OwnerSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedTooltip(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<OwnerSearch*>(data);
    wchar_t cls[64] = {};
    ::GetClassNameW(window, cls, 64);
    if (lstrcmpiW(cls, TOOLTIPS_CLASSW) == 0 && ::GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::optional<std::wstring> ToolText(HWND tooltip, TOOLINFOW& ti) {
    wchar_t buffer[1024] = {};
    ti.lpszText = buffer;
    ::SendMessageW(tooltip, TTM_GETTEXTW, std::size(buffer), reinterpret_cast<LPARAM>(&ti));
    return std::wstring(buffer);
}

}  // namespace

void Settle(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    do {
        toolkit::LetPendingMessagesRun();
        ::Sleep(5);
    } while (::GetTickCount() - start < milliseconds);
    toolkit::LetPendingMessagesRun();
}

int At96(int twips) { return ::MulDiv(twips, 96, 1440); }

bool BringToFront(HWND window) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (::GetForegroundWindow() == window) return true;
        ::SetForegroundWindow(window);
        Settle(25);
    }
    return ::GetForegroundWindow() == window;
}

HWND FocusIn(HWND window) {
    BringToFront(window);
    return ::GetFocus();
}

RECT ClientRect(HWND window) {
    RECT r{};
    ::GetClientRect(window, &r);
    return r;
}

void MoveToDpi(HWND window, UINT dpi, int clientWidthTwips, int clientHeightTwips) {
    RECT frame{}, client{};
    ::GetWindowRect(window, &frame);
    ::GetClientRect(window, &client);
    const int width = frame.right - frame.left + ::MulDiv(clientWidthTwips, static_cast<int>(dpi), 1440) - client.right;
    const int height =
        frame.bottom - frame.top + ::MulDiv(clientHeightTwips, static_cast<int>(dpi), 1440) - client.bottom;
    // Where it fits, the window stays whole on the screen (a screenshot sees nothing beyond it).
    const int left = std::max(0, std::min<int>(frame.left, ::GetSystemMetrics(SM_CXSCREEN) - width));
    const int top = std::max(0, std::min<int>(frame.top, ::GetSystemMetrics(SM_CYSCREEN) - height));
    RECT suggested{left, top, left + width, top + height};
    ::SendMessageW(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

RECT RectInParent(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring TextOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

DWORD StyleOf(HWND window) { return static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)); }
DWORD ExStyleOf(HWND window) { return static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)); }

LOGFONTW FontOf(HWND control) {
    LOGFONTW lf{};
    const HFONT font = GetWindowFont(control);
    if (font) ::GetObjectW(font, sizeof lf, &lf);
    return lf;
}

HWND TooltipOf(HWND owner) {
    OwnerSearch search{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedTooltip, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::optional<std::wstring> TipOfChild(HWND tooltip, HWND owner, HWND child) {
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = owner;
    ti.uId = reinterpret_cast<UINT_PTR>(child);
    if (!::SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti))) return std::nullopt;
    return ToolText(tooltip, ti);
}

std::optional<std::wstring> TipAt(HWND tooltip, HWND owner, POINT client) {
    TTHITTESTINFOW hit{};
    hit.hwnd = owner;
    hit.pt = client;
    hit.ti.cbSize = sizeof hit.ti;
    if (!::SendMessageW(tooltip, TTM_HITTESTW, 0, reinterpret_cast<LPARAM>(&hit))) return std::nullopt;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = owner;
    ti.uId = hit.ti.uId;
    return ToolText(tooltip, ti);
}

void PressKey(HWND target, UINT virtualKey) {
    ::PostMessageW(target, WM_KEYDOWN, virtualKey, KeyData(virtualKey, false, false));
    ::PostMessageW(target, WM_KEYUP, virtualKey, KeyData(virtualKey, false, true));
    Settle(20);
}

void PressAltKey(HWND target, wchar_t letter) {
    // What TranslateMessage makes of Alt held down with a letter key.
    const UINT vk = static_cast<UINT>(::towupper(letter));
    ::PostMessageW(target, WM_SYSCHAR, static_cast<WPARAM>(letter), KeyData(vk, true, false));
    Settle(20);
}

void Click(HWND window, POINT client) { PressAndRelease(window, client, client); }

void PressAndRelease(HWND window, POINT down, POINT up) {
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, PointData(down));
    ::PostMessageW(window, WM_LBUTTONUP, 0, PointData(up));
    Settle(20);
}

POINT CentreOf(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// A 32-bit top-down DIB selected into a memory context, copied into a Picture when done.
class Canvas32 {
public:
    Canvas32(int width, int height) : width_(width), height_(height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        bitmap_.reset(::CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &bits_, nullptr, 0));
        selected_.emplace(dc_.get(), bitmap_.get());
    }
    HDC Dc() const { return dc_.get(); }
    Picture Take() const {
        ::GdiFlush();
        Picture p(width_, height_);
        const auto* source = static_cast<const DWORD*>(bits_);
        for (size_t i = 0; i < p.pixels_.size(); ++i) p.pixels_[i] = source[i] & 0x00FFFFFF;
        return p;
    }

private:
    int width_, height_;
    toolkit::UniqueMemoryDc dc_{::CreateCompatibleDC(nullptr)};
    toolkit::UniqueBitmap bitmap_;
    void* bits_ = nullptr;
    std::optional<toolkit::SelectedObject> selected_;  // last: deselected before the bitmap goes
};

Picture Picture::OfClient(HWND window) {
    const RECT r = ClientRect(window);
    Canvas32 canvas(r.right, r.bottom);
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT | PRF_ERASEBKGND);
    return canvas.Take();
}

Picture Picture::OfScreen(const RECT& screen) {
    const int width = screen.right - screen.left, height = screen.bottom - screen.top;
    Canvas32 canvas(width, height);
    const toolkit::WindowDc desktop(nullptr);
    ::BitBlt(canvas.Dc(), 0, 0, width, height, desktop.get(), screen.left, screen.top, SRCCOPY);
    return canvas.Take();
}

COLORREF Picture::At(int x, int y) const {
    const DWORD p = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Picture::Count(const RECT& r, COLORREF colour, int tolerance) const {
    int n = 0;
    for (int y = std::max(0L, r.top); y < std::min<LONG>(height_, r.bottom); ++y)
        for (int x = std::max(0L, r.left); x < std::min<LONG>(width_, r.right); ++x) {
            const COLORREF c = At(x, y);
            if (std::abs(GetRValue(c) - GetRValue(colour)) <= tolerance &&
                std::abs(GetGValue(c) - GetGValue(colour)) <= tolerance &&
                std::abs(GetBValue(c) - GetBValue(colour)) <= tolerance)
                ++n;
        }
    return n;
}

int Picture::CountDark(const RECT& r, int maxChannelSum) const {
    int n = 0;
    for (int y = std::max(0L, r.top); y < std::min<LONG>(height_, r.bottom); ++y)
        for (int x = std::max(0L, r.left); x < std::min<LONG>(width_, r.right); ++x) {
            const COLORREF c = At(x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) <= maxChannelSum) ++n;
        }
    return n;
}

bool Picture::SavePng(const std::wstring& path) const {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
        return false;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (FAILED(factory->CreateStream(&stream)) || FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &options)) || FAILED(frame->Initialize(options.Get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(width_), static_cast<UINT>(height_))))
        return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR) return false;
    const UINT stride = static_cast<UINT>(width_) * 3;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * height_);
    for (size_t i = 0; i < pixels_.size(); ++i) {
        rows[i * 3] = static_cast<BYTE>(pixels_[i] & 0xFF);
        rows[i * 3 + 1] = static_cast<BYTE>((pixels_[i] >> 8) & 0xFF);
        rows[i * 3 + 2] = static_cast<BYTE>((pixels_[i] >> 16) & 0xFF);
    }
    return SUCCEEDED(
               frame->WritePixels(static_cast<UINT>(height_), stride, static_cast<UINT>(rows.size()), rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace hv::test
