// frmQ: the pending-notifications viewer. A passive list whose text the daily scan rewrites;
// closing it only hides it, so the scan can always write into it.
#pragma once
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "toolkit/Host.h"

namespace hv::ui {

class QForm : public toolkit::Form {
public:
    explicit QForm(toolkit::Host& host);
    ~QForm() override;

    void cmdClose_Click() { Hide(); }

    toolkit::Label Label1;
    toolkit::Label Label2;
    toolkit::TextBox txtQ;
    toolkit::Button cmdClose;

protected:
    void OnLoad() override;

private:
    toolkit::Host& host_;
};

}  // namespace hv::ui
