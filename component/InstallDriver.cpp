#include <stdexcept>
#include <string>

#include "base/Log.h"
#include "report/DataReport.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

void CMainWnd::DoInstallComponent() {
  installPhase_ = kPhaseDownloading;
  DataReport& report = DataReport::Instance();
  try {
    report.SendEvent(100, 0, 0, 0);
    const std::wstring path = DownloadComponentXml();
    if (path.empty()) {
      report.SendEvent(101, installOutcome_.load(), 0, 0);
      throw std::logic_error("stop install by download component xml error.");
    }
    report.SendEvent(102, 0, 0, 0);

    bool parsed = false;
    try {
      parsed = ParseComponentXml(path);
    } catch (const std::invalid_argument&) {
      // A number of the manifest that can't be read ("invalid stoull
      // argument", "stoull argument out of range") is a manifest that can't
      // be used: it fails the run as one, never with the success code.
      installOutcome_ = kOutcomeManifestParse;
      report.SendEvent(101, installOutcome_.load(), 0, 0);
      throw;
    } catch (const std::out_of_range&) {
      installOutcome_ = kOutcomeManifestParse;
      report.SendEvent(101, installOutcome_.load(), 0, 0);
      throw;
    }
    if (!parsed) {
      report.SendEvent(101, installOutcome_.load(), 0, 0);
      throw std::logic_error("stop install by parse component xml error.");
    }

    GetNeedInstallComponentItems();
    report.SendEvent(200, 0, 0, 0);
    if (!DownloadComponent()) throw std::logic_error("stop install by download error.");
    report.SendEvent(204, 0, 0, 0);

    PostToWindowThread([this] { StartInstallingAnimation(); });
    installPhase_ = kPhaseInstalling;
    report.SendEvent(300, 0, 0, 0);
    const bool installed = InstallComponent();
    PostToWindowThread([this] { StopInstallingAnimation(); });
    if (!installed) throw std::logic_error("stop install by install error.");
    report.SendEvent(304, 0, 0, 0);

    installPhase_ = kPhaseComplete;
    PostToWindowThread([this] { ShowCompletePage(); });
    return;
  } catch (const std::logic_error& error) {
    LOG_ERROR("Component") << error.what();
    // Every step that stops the run has set its code; one still at 0 came
    // from somewhere unforeseen, and the error page must not read "success".
    if (installOutcome_ == kOutcomeSuccess) installOutcome_ = kOutcomeCommon;
  } catch (...) {
    installOutcome_ = kOutcomeCommon;
    LOG_ERROR("component") << "unknown exception occurred at installing progress.";
  }
  installPhase_ = kPhaseFailed;
  PostShowErrorPage();
}
