#include "toolkit/Menu.h"

#include "toolkit/Form.h"

namespace hv::toolkit {

PopupMenu::PopupMenu(Form& form) : form_(form), menu_(::CreatePopupMenu()) { form_.menus_.push_back(this); }

PopupMenu::~PopupMenu() {
    auto& list = form_.menus_;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (*it == this) {
            list.erase(it);
            break;
        }
}

UINT PopupMenu::AddItem(const std::wstring& caption, std::function<void()> command) {
    const UINT id = 40001 + static_cast<UINT>(items_.size());
    ::AppendMenuW(menu_.get(), MF_STRING, id, caption.c_str());
    items_.push_back({id, std::move(command)});
    return id;
}

void PopupMenu::AddSeparator() { ::AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr); }

void PopupMenu::SetChecked(UINT id, bool checked) {
    ::CheckMenuItem(menu_.get(), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool PopupMenu::Checked(UINT id) const { return (::GetMenuState(menu_.get(), id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

std::wstring PopupMenu::Caption(UINT id) const {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu_.get(), id, text, 128, MF_BYCOMMAND);
    return text;
}

void PopupMenu::TrackAtPointer(HWND owner) {
    POINT pt{};
    ::GetCursorPos(&pt);
    tracking_ = true;
    // TPM_RETURNCMD is not used: the command arrives as WM_COMMAND, like any menu event.
    ::TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, owner, nullptr);
    tracking_ = false;
}

bool PopupMenu::RunCommand(UINT id) {
    for (const Item& item : items_)
        if (item.id == id) {
            if (item.command) item.command();
            return true;
        }
    return false;
}

}  // namespace hv::toolkit
