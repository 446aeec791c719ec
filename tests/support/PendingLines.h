// Pending-list texts as the engine writes them and the viewer shows them.
#pragma once

namespace hv::test {

inline constexpr wchar_t kNothingPending[] = L"-- No Appointments Pending --";
inline constexpr wchar_t kBudgetReviewLine[] = L"10:00 AM - Budget review\r\n";

}  // namespace hv::test
