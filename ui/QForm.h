// frmQ: the pending-notifications viewer. A passive list whose text the daily scan rewrites;
// closing it only hides it, so the scan can always write into it.
#pragma once
#include "ui/toolkit/Controls.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Host.h"

namespace hv::ui {

class QForm : public Form {
public:
    explicit QForm(Host& host);
    ~QForm() override;

    void cmdClose_Click() { Hide(); }

    Label Label1;
    Label Label2;
    TextBox txtQ;
    Button cmdClose;

protected:
    void OnLoad() override;

private:
    Host& host_;
};

}  // namespace hv::ui
