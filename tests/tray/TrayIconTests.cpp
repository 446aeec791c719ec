// The tray record as the shell receives it at each call, and the decoding of tray callbacks.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tray/TrayIcon.h"

namespace hv::tray {
namespace {

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAA data;
};

class TrayRecord : public testing::Test {
protected:
    std::vector<ShellCall> calls;
    TrayIcon icon{[this](DWORD m, NOTIFYICONDATAA* d) {
        calls.push_back({m, *d});
        return TRUE;
    }};
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    HICON active = reinterpret_cast<HICON>(static_cast<INT_PTR>(0x2222));
    HICON inactive = reinterpret_cast<HICON>(static_cast<INT_PTR>(0x3333));

    // The version-1 record ends after the first 64 bytes of the tooltip field.
    static std::string Tip(const NOTIFYICONDATAA& d) { return std::string(d.szTip, kTipBytes); }
    static std::string Expected(const std::string& text) {
        std::string field = text + '\0';
        field.resize(64, ' ');
        return field;
    }
};

TEST_F(TrayRecord, EveryCallCarriesTheSameFixedFields) {
    icon.UpdateTray(window, active, L"Horavane (Active)");
    icon.Modify(inactive, L"Quil Horavane (Inactive)");
    icon.Notify();
    icon.Delete();
    ASSERT_EQ(calls.size(), 4u);
    const DWORD messages[] = {NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_DELETE};
    for (size_t i = 0; i < calls.size(); ++i) {
        const NOTIFYICONDATAA& d = calls[i].data;
        EXPECT_EQ(calls[i].message, messages[i]);
        EXPECT_EQ(d.cbSize, NOTIFYICONDATAA_V1_SIZE);
        EXPECT_EQ(d.hWnd, window);
        EXPECT_EQ(d.uID, 1u);
        EXPECT_EQ(d.uFlags, 7u);
        EXPECT_TRUE(d.uCallbackMessage >= WM_APP && d.uCallbackMessage <= 0xBFFF)
            << "a message of the program's own: a real mouse move over the window must never pass for a callback";
    }
    EXPECT_EQ(calls[0].data.hIcon, active);
    EXPECT_EQ(Tip(calls[0].data), Expected("Horavane (Active)"));
    EXPECT_EQ(calls[1].data.hIcon, inactive);
    EXPECT_EQ(Tip(calls[1].data), Expected("Quil Horavane (Inactive)"));
    EXPECT_EQ(Tip(calls[3].data), Tip(calls[1].data));
}

TEST_F(TrayRecord, SizeIsTheVersion1Record) {
    // cbSize, hWnd, uID, uFlags, uCallbackMessage, hIcon and the 64-byte tip, with the padding of
    // the build's pointer size: 88 bytes in 32-bit builds, 104 in 64-bit ones.
    icon.UpdateTray(window, active, L"Horavane (Active)");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].data.cbSize, sizeof(void*) == 4 ? 88u : 104u);
}

TEST_F(TrayRecord, LongTooltipsAreCutAndStayTerminated) {
    const std::wstring longText(100, L'x');
    icon.UpdateTray(window, active, longText);
    const std::string tip = Tip(calls.back().data);
    EXPECT_EQ(tip, Expected(std::string(63, 'x')));
    icon.Modify(active, std::wstring(63, L'y'));
    EXPECT_EQ(Tip(calls.back().data), Expected(std::string(63, 'y')));
    icon.Modify(active, L"");
    EXPECT_EQ(Tip(calls.back().data), Expected(""));
}

TEST_F(TrayRecord, ModifyAndDeleteBeforeAddCarryAnEmptyRecord) {
    // Before the icon exists the shell is given a record it rejects; nothing else happens.
    icon.Modify(active, L"Quil Horavane (Active)");
    icon.Delete();
    icon.Readd();  // nothing to re-add yet
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].data.cbSize, 0u);
    EXPECT_EQ(calls[1].data.hWnd, nullptr);
}

TEST_F(TrayRecord, ReaddUsesTheCurrentPictureAndTooltip) {
    icon.UpdateTray(window, active, L"Horavane (Active)");
    icon.Modify(inactive, L"Quil Horavane (Inactive)");
    icon.Readd();
    ASSERT_EQ(calls.back().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls.back().data.hIcon, inactive);
    EXPECT_EQ(Tip(calls.back().data), Expected("Quil Horavane (Inactive)"));
}

TEST_F(TrayRecord, ABalloonGoesInARecordOfItsOwnAndOnlyOnAShownIcon) {
    icon.ShowBalloon(L"Horavane", L"before the icon", false);
    EXPECT_TRUE(calls.empty());
    icon.UpdateTray(window, active, L"Horavane (Active)");
    icon.ShowBalloon(L"Horavane", L"Not sent: 09:00 AM - Review", true);
    icon.ShowBalloon(L"Horavane", L"Sent late", false);
    icon.Modify(inactive, L"Horavane (Inactive)");
    ASSERT_EQ(calls.size(), 4u);
    for (const ShellCall* c : {&calls[1], &calls[2]}) {
        EXPECT_EQ(c->message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(c->data.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
        EXPECT_EQ(c->data.hWnd, window);
        EXPECT_EQ(c->data.uID, 1u);
        EXPECT_EQ(c->data.uFlags, static_cast<UINT>(NIF_INFO));  // picture and tooltip untouched
        EXPECT_STREQ(c->data.szInfoTitle, "Horavane");
    }
    EXPECT_STREQ(calls[1].data.szInfo, "Not sent: 09:00 AM - Review");
    EXPECT_EQ(calls[1].data.dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(calls[2].data.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
    EXPECT_EQ(calls[3].data.cbSize, NOTIFYICONDATAA_V1_SIZE);  // the icon's own record is unchanged
}

TEST(TrayCallback, OnlyDoubleClickAndRightPressAct) {
    const struct {
        UINT message;
        TrayAction action;
    } cases[] = {
        {WM_LBUTTONDBLCLK, TrayAction::ToggleNotification},
        {WM_RBUTTONDOWN, TrayAction::ShowMenu},
        {WM_MOUSEMOVE, TrayAction::None},
        {WM_LBUTTONDOWN, TrayAction::None},
        {WM_LBUTTONUP, TrayAction::None},
        {WM_RBUTTONUP, TrayAction::None},
        {WM_RBUTTONDBLCLK, TrayAction::None},
        {WM_MBUTTONDOWN, TrayAction::None},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeTrayCallback(c.message), c.action) << c.message;
}

}  // namespace
}  // namespace hv::tray
