#include "outlook/AppointmentView.h"

namespace hv::outlook {

const Variant& AppointmentView::Property(const wchar_t* name) {
    auto [it, fresh] = reads_.try_emplace(name);
    Read& read = it->second;
    if (fresh) {
        try {
            read.value = client_->Get(item_.Get(), name);
        } catch (const AutomationError& e) { read.failure = e; }
    }
    if (read.failure) throw *read.failure;
    return read.value;
}

}  // namespace hv::outlook
