#pragma once

#include "engine_interface/result_sink.h"

#include <optional>
#include <string>
#include <string_view>

namespace sqlemu {

// The server's local time, as datetime columns (crdate) show it.
DateTimeValue serverNow();

// "YYYY-MM-DD hh:mm:ss.mmm", the form the catalogue file stores.
std::string formatDateTime(DateTimeValue value);
std::optional<DateTimeValue> parseDateTime(std::string_view text);

} // namespace sqlemu
