// The record form of one report event, as the report library receives it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#ifdef _WIN32
// <windows.h> names the event-log function ReportEvent; this record owns the
// name here, so the macro goes once the header has been read (it guards
// itself against being read twice).
#include <windows.h>
#undef ReportEvent
#endif

struct ReportEvent {
  std::int32_t type = 0;
  std::int32_t result = 0;
  std::int32_t error = 0;
  std::int32_t error_ex = 0;
  std::int32_t step = 0;
  std::int32_t result_ex = 0;
  std::string result_info;
  std::string error_info;
  std::array<std::int64_t, 10> ireserve{};  // ireserve0 ... ireserve9
  std::array<std::string, 10> strreserve;   // strreserve0 ... strreserve9
};

// Fills the fields whose keys are present; the others keep their defaults.
// Throws nlohmann::json::type_error for a value of the wrong type.
ReportEvent ReportEventFromJson(const nlohmann::json& event);
