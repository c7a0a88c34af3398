// The report channel used when the report library did not load: each event
// becomes one signed HTTPS POST to the report server, sent from a worker of
// the task pool. The decisions are plain functions so tests can check them.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

class DataReport;

// Fixed salt of the request signature.
inline constexpr char kReportSignSalt[] = "kwz#serverDigest_482&!~";

// A nonce uniform in 10000..99999 from the system's cryptographic random
// source (an unbiased draw from [0, 90000), plus 10000).
std::uint32_t DrawReportNonce();

// MD5(salt + "|" + nonce + "|" + guid) as 32 lower-case hex digits.
std::string ReportSignature(std::uint32_t nonce, const std::string& guid);

// Adds (or replaces) the keys every event carries.
void AddCommonReportKeys(nlohmann::json& event, const DataReport& report, std::int64_t timeSeconds);

// "https://" + host + "/report/clientreport?retflag=json&sign=..&nonce=..&data=..",
// nothing escaped.
std::string BuildReportUrl(const std::string& host, const std::string& sign, std::uint32_t nonce,
                           const std::string& data);
