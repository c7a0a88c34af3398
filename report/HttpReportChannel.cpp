// rand_s is declared only when this comes before the first runtime header.
#define _CRT_RAND_S
#include <stdlib.h>

#include "report/HttpReportChannel.h"

#include <ctime>

#include "BuildConfig.h"
#include "base/Log.h"
#include "base/Md5.h"
#include "base/TextConvert.h"
#include "base/WorkerPool.h"
#include "net/HttpClient.h"
#include "report/DataReport.h"

std::uint32_t DrawReportNonce() {
  // Values at or above the largest multiple of 90000 below 2^32 are drawn
  // again, so every residue is equally likely.
  constexpr std::uint32_t kRange = 90000;
  constexpr std::uint32_t kLimit = 0xFFFFFFFFu - (0xFFFFFFFFu % kRange + 1) % kRange;
  unsigned int value = 0;
  do {
    if (rand_s(&value) != 0) value = 0;
  } while (value > kLimit);
  return 10000 + value % kRange;
}

std::string ReportSignature(std::uint32_t nonce, const std::string& guid) {
  const std::string text = std::string(kReportSignSalt) + "|" + std::to_string(nonce) + "|" + guid;
  return Md5Hex(text.data(), text.size());
}

void AddCommonReportKeys(nlohmann::json& event, const DataReport& report, std::int64_t timeSeconds) {
  event["time_t"] = timeSeconds;
  event["guid"] = report.guid;
  event["client_version"] = report.client_version;
  event["supplyid"] = report.supplyid;
  event["sys_major"] = report.sys_major;
  event["sys_minor"] = report.sys_minor;
  event["sys_build"] = report.sys_build;
  event["language"] = WideToUtf8(report.language);
  event["type"] = 2;
  event["strcommon0"] = report.strcommon0;
  event["icommon0"] = report.client_version;
}

std::string BuildReportUrl(const std::string& host, const std::string& sign, std::uint32_t nonce,
                           const std::string& data) {
  return "https://" + host + "/report/clientreport?retflag=json&sign=" + sign + "&nonce=" + std::to_string(nonce) +
         "&data=" + data;
}

void DataReport::ReportDataByHttp(ReportEventJson event) {
  const std::uint32_t nonce = DrawReportNonce();
  const std::string sign = ReportSignature(nonce, guid);
  AddCommonReportKeys(event, *this, _time64(nullptr));
  const std::string url = BuildReportUrl(WideToUtf8(ORVO_REPORT_HOST), sign, nonce, event.dump());
  if (!IsHttpSuccess(HttpPost(url, "", ""))) {
    // The report server's operators look this line up by its place.
    ::LogLine(kLogError, "Report", "DataReport", "DataReport::ReportDataByHttp", 182) << "report data error";
  }
}

DataReport::Sender DataReport::HttpSender() {
  return [this](ReportEventJson event) {
    minilib::WorkerPool::Instance().Post(
        minilib::Callback<void()>([this, event = std::move(event)] { ReportDataByHttp(event); }));
  };
}
