// A fresh report id from the system's cryptographic random source.
#pragma once
#include <string>

namespace vnscope {

// 32 lowercase hexadecimal digits (report_id.h); empty in the unlikely case
// that the system gives no random bytes, and the report then has no id.
std::string NewReportId();

}  // namespace vnscope
