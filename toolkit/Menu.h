// A pop-up menu owned by a form: items with captions, commands and check marks, shown at the
// pointer. Its commands arrive as WM_COMMAND at the owning form, which runs the item's handler.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/UniqueHandle.h"

namespace hv::toolkit {

class Form;

class PopupMenu {
public:
    explicit PopupMenu(Form& form);
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    ~PopupMenu();

    // Appends an item and returns its command id.
    UINT AddItem(const std::wstring& caption, std::function<void()> command);
    void AddSeparator();

    void SetChecked(UINT id, bool checked);
    bool Checked(UINT id) const;
    std::wstring Caption(UINT id) const;
    HMENU Handle() const { return menu_.get(); }

    // Shows the menu at the pointer, left edge at the pointer, no default item. Returns when the
    // menu has closed; the chosen item's command then runs as an ordinary menu event.
    void TrackAtPointer(HWND owner);
    // True while the menu is open.
    bool Visible() const { return tracking_; }

    // Runs the command of an item, as choosing it does.
    bool RunCommand(UINT id);

private:
    struct Item {
        UINT id;
        std::function<void()> command;
    };
    Form& form_;
    UniqueMenu menu_;
    std::vector<Item> items_;
    bool tracking_ = false;
};

}  // namespace hv::toolkit
