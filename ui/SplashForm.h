// frmSplash: the splash screen at start-up and the About window. One picture window without a
// title bar: the artwork, the logo and labels filled from the program's version information.
// Clicking the logo, the title, the version or the company name opens the maker's web page; a
// click anywhere else, or a key that types a character, closes (destroys) the window.
//
// The labels are painted by the window itself over the artwork (transparent text needs no child
// windows that would have to repaint through to the picture); clicks and tooltips hit-test their
// rectangles.
#pragma once
#include <windows.h>

#include <string>
#include <utility>

#include "ui/SplashCommands.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "toolkit/UniqueHandle.h"

namespace hv::ui {

// A painted part of the splash window: its place, its tooltip and what a click on it does.
class SplashPart {
public:
    enum class Click { OpenWebPage, CloseWindow };

    SplashPart(toolkit::TwipsRect box, std::wstring tooltip, Click click)
        : box_(box), tooltip_(std::move(tooltip)), click_(click) {}
    SplashPart(const SplashPart&) = delete;
    SplashPart& operator=(const SplashPart&) = delete;

    // The rectangle in client pixels that is drawn, clicked and tipped (valid while loaded).
    RECT Rect() const { return rect_; }

private:
    friend class SplashForm;
    toolkit::TwipsRect box_;
    std::wstring tooltip_;
    Click click_;
    RECT rect_{};
};

// A one-line label in Arial with a transparent background.
class SplashLabel : public SplashPart {
public:
    enum class Align { Left, Right };
    struct Look {
        int hundredthsOfPoint;  // 825 is 8.25 pt
        bool bold;
        COLORREF colour;
        Align align;
        // An auto-sized label is exactly as large as its text, its left and top edges fixed.
        bool autoSize;
    };

    SplashLabel(toolkit::TwipsRect box, Look look, std::wstring designText, std::wstring tooltip, Click click)
        : SplashPart(box, std::move(tooltip), click),
          look_(look),
          designText_(std::move(designText)),
          text_(designText_) {}

    const std::wstring& Text() const { return text_; }

private:
    friend class SplashForm;
    Look look_;
    std::wstring designText_;
    std::wstring text_;
    toolkit::UniqueFont font_;
};

class SplashForm : public toolkit::Form {
public:
    explicit SplashForm(SplashCommands& commands);
    ~SplashForm() override;

    // Destroys the window (its state goes with it) and tells the core that it was closed.
    void CloseSplash();
    // Opens the maker's web page; the window stays open and unchanged.
    void imgLogo_Click();

    SplashLabel lblCompanyProduct;
    SplashLabel lblProductName;
    SplashPart imgLogo;
    SplashLabel lblVersion;
    SplashLabel lblCopyright;
    SplashLabel lblCompany;

protected:
    void OnLoad() override;
    void OnUnload() override;
    // Alt+F4 (the system's close command) closes the window as a click does.
    void OnCloseBox() override { CloseSplash(); }
    void OnPaint(HDC dc) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static constexpr int kPartCount = 6;
    // The parts in painting order; the last one that contains a point is the one hit.
    SplashPart* Parts(int index);
    SplashLabel* Label(int index);

    void FillTexts();
    void LoadArtwork();
    void EnsureLayout();
    RECT PixelRect(const toolkit::TwipsRect& box) const;
    void PlaceLabel(HDC measure, SplashLabel& label);
    void RegisterTooltips();
    void PaintWindow(HDC dc);
    void DrawLabel(HDC dc, const SplashLabel& label) const;
    SplashPart* PartAt(POINT client);
    void MouseDown(POINT client);
    void MouseUp(POINT client);

    SplashCommands& commands_;
    toolkit::UniqueEnhMetaFile artwork_;
    HICON logo_ = nullptr;       // owned by the core
    HCURSOR pointer_ = nullptr;  // a shared resource cursor: never destroyed
    UINT layoutDpi_ = 0;         // 0: not laid out for the current window
    bool tooltipsRegistered_ = false;
    int pressed_ = -1;  // the part under the button press; kPartCount for the background
};

}  // namespace hv::ui
