#include "ui/QForm.h"

#include "toolkit/DateForms.h"

namespace hv::ui {
namespace {

toolkit::FormStyle QStyle() {
    toolkit::FormStyle s;
    // Fixed dialog frame, no minimize or maximize button, no icon, no task-bar button.
    s.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    s.exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW;
    s.clientWidthTwips = 5085;
    s.clientHeightTwips = 3825;
    return s;
}

}  // namespace

QForm::QForm(toolkit::Host& host)
    : toolkit::Form(QStyle()),
      Label1(*this, {{0, 0, 1095, 255}, L"Start Time -", L"", 2, true}),
      Label2(*this, {{1080, 0, 1095, 255}, L"Subject", L"", 3, true}),
      txtQ(*this, {{0, 240, 5055, 3015}, L"", L"", 1, true}, toolkit::TextBox::Kind::MultiLineReadOnly),
      cmdClose(*this, {{1920, 3360, 1215, 375}, L"&Close", L"", 0}),
      host_(host) {
    cmdClose.onClick = [this] { cmdClose_Click(); };
    SetDefaultButton(cmdClose);
}

QForm::~QForm() { Unload(); }

void QForm::OnLoad() {
    SetCaption(L"Horavane - Notifications pending for " + toolkit::ShortDate(host_.Now()));
    txtQ.SetText(L"-- Initializing --");
    cmdClose.Focus();
}

}  // namespace hv::ui
