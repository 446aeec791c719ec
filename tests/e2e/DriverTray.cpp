#include "tests/e2e/DriverTray.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

#include "tests/e2e/DriverWindows.h"
#include "toolkit/UniqueHandle.h"

namespace hv::e2e {
namespace {

using toolkit::UniqueBitmap;
using toolkit::UniqueKernelHandle;

// How far from the right end of the task bar icons are looked for, in pixels.
constexpr int kTrayWidth = 240;
// A pixel belongs to a picture when a channel differs from the background by more than this.
constexpr int kTolerance = 24;

// A rectangle of the screen as 0x00RRGGBB pixels, top row first.
class ScreenPixels {
public:
    explicit ScreenPixels(const RECT& area)
        : left_(area.left), top_(area.top), width_(area.right - area.left), height_(area.bottom - area.top) {
        if (width_ <= 0 || height_ <= 0) return;
        const toolkit::WindowDc screen(nullptr);
        const toolkit::UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        const UniqueBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap || !bits) return;
        const toolkit::SelectedObject selected(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, width_, height_, screen.get(), left_, top_, SRCCOPY);
        ::GdiFlush();
        const auto* p = static_cast<const DWORD*>(bits);
        pixels_.assign(p, p + static_cast<size_t>(width_) * height_);
    }

    int Width() const { return pixels_.empty() ? 0 : width_; }
    int Height() const { return pixels_.empty() ? 0 : height_; }
    DWORD At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x] & 0xFFFFFF; }
    int Left() const { return left_; }
    int Top() const { return top_; }

private:
    int left_, top_, width_, height_;
    std::vector<DWORD> pixels_;
};

bool Differs(DWORD a, DWORD b) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > kTolerance || d < -kTolerance) return true;
    }
    return false;
}

DWORD MostCommonColour(const ScreenPixels& px) {
    std::map<DWORD, int> counts;
    for (int y = 0; y < px.Height(); ++y)
        for (int x = 0; x < px.Width(); ++x) ++counts[px.At(x, y)];
    return std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

// Columns [first, last] that hold picture pixels, grouped with gaps of at most two columns,
// rightmost group first.
std::vector<std::pair<int, int>> PictureColumns(const ScreenPixels& px, DWORD background) {
    std::vector<std::pair<int, int>> groups;
    int gap = 0;
    for (int x = px.Width() - 1; x >= 0; --x) {
        bool picture = false;
        for (int y = 1; y + 1 < px.Height() && !picture; ++y) picture = Differs(px.At(x, y), background);
        if (picture) {
            if (!groups.empty() && gap <= 2)
                groups.back().first = x;
            else
                groups.emplace_back(x, x);
            gap = 0;
        } else {
            ++gap;
        }
    }
    return groups;
}

TrayIconSpot SpotOf(const ScreenPixels& px, DWORD background, int first, int last) {
    int top = px.Height(), bottom = -1;
    for (int y = 1; y + 1 < px.Height(); ++y)
        for (int x = first; x <= last; ++x)
            if (Differs(px.At(x, y), background)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    TrayIconSpot spot;
    spot.rect = {px.Left() + first, px.Top() + top, px.Left() + last + 1, px.Top() + bottom + 1};
    spot.centre = {(spot.rect.left + spot.rect.right) / 2, (spot.rect.top + spot.rect.bottom) / 2};
    std::uint32_t hash = 2166136261u;  // FNV-1a over the picture's pixels
    for (int y = top; y <= bottom; ++y)
        for (int x = first; x <= last; ++x) {
            const DWORD c = px.At(x, y);
            for (int shift = 0; shift < 24; shift += 8) hash = (hash ^ ((c >> shift) & 0xFF)) * 16777619u;
        }
    spot.fingerprint = hash;
    return spot;
}

// Memory in another process, for messages whose parameters point at structures.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size)
        : process_(process), address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteMemory() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    void* get() const { return address_; }
    bool Write(const void* data, size_t size, size_t offset = 0) const {
        return ::WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
    }
    bool Read(void* data, size_t size, size_t offset = 0) const {
        return ::ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
    }

private:
    HANDLE process_;
    void* address_;
};

std::vector<HWND> TooltipWindowsOf(DWORD process) {
    Selector tips;
    tips.className = TOOLTIPS_CLASSW;
    std::vector<HWND> found;
    for (HWND tip : FindWindows(tips, false))
        if (ProcessOf(tip) == process) found.push_back(tip);
    return found;
}

std::vector<std::wstring> ToolTexts(HANDLE process, HWND tooltip) {
    constexpr size_t kTextChars = 1024;
    std::vector<std::wstring> texts;
    RemoteMemory remote(process, sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t));
    if (!remote.get()) return texts;
    const LRESULT count = ::SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        TTTOOLINFOW info{};
        info.cbSize = sizeof info;
        info.lpszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.get()) + sizeof info);
        const wchar_t empty = L'\0';
        if (!remote.Write(&info, sizeof info) || !remote.Write(&empty, sizeof empty, sizeof info)) break;
        if (!::SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.get())))
            continue;
        std::wstring text(kTextChars, L'\0');
        if (!remote.Read(text.data(), kTextChars * sizeof(wchar_t), sizeof info)) continue;
        text.resize(wcsnlen(text.c_str(), kTextChars));
        texts.push_back(text);
    }
    return texts;
}

}  // namespace

HWND TaskBar() { return ::FindWindowW(L"Shell_TrayWnd", nullptr); }

std::vector<TrayIconSpot> TrayIcons() {
    std::vector<TrayIconSpot> spots;
    const HWND bar = TaskBar();
    if (!bar || !::IsWindowVisible(bar)) return spots;
    RECT r{};
    ::GetWindowRect(bar, &r);
    r.left = std::max(r.left, r.right - kTrayWidth);
    const ScreenPixels px(r);
    if (px.Width() == 0) return spots;
    const DWORD background = MostCommonColour(px);
    for (const auto& [first, last] : PictureColumns(px, background))
        if (last - first >= 7) spots.push_back(SpotOf(px, background, first, last));  // a picture, not a border line
    return spots;
}

std::vector<std::wstring> TrayTooltips() {
    std::vector<std::wstring> texts;
    const HWND bar = TaskBar();
    if (!bar) return texts;
    const DWORD pid = ProcessOf(bar);
    UniqueKernelHandle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process) return texts;
    for (HWND tip : TooltipWindowsOf(pid))
        for (std::wstring& text : ToolTexts(process.get(), tip)) texts.push_back(std::move(text));
    return texts;
}

}  // namespace hv::e2e
