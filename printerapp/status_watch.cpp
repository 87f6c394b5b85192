#include "status_watch.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "delivery.h"
#include "drivers.h"
#include "link.h"
#include "pappl_compat.h"
#include "printer_status.h"

namespace quorvane::app {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAnswerWaitMs = 1000;
constexpr auto kMuteFor = std::chrono::minutes(5);
constexpr int kIdleAskSeconds = 5;
constexpr auto kReadyRetry = std::chrono::seconds(2);

constexpr auto kStatusReasons =
    static_cast<pappl_preason_t>(PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_LOW | PAPPL_PREASON_MEDIA_NEEDED |
                                 PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_OFFLINE | PAPPL_PREASON_OTHER);

struct Hearing {
  Clock::time_point muted_until{};
  std::string message;  // the printer-state-message the status set
};
std::atomic<bool> queries_on{true};
std::mutex hearings_mutex;
std::map<const pappl_printer_t *, Hearing> hearings;

bool muted(const pappl_printer_t *printer) {
  const std::lock_guard lock(hearings_mutex);
  return Clock::now() < hearings[printer].muted_until;
}

std::optional<PrinterStatus> ask(pappl_printer_t *printer, pappl_device_t *device, bool may_mute) {
  const char *driver = papplPrinterGetDriverName(printer);
  const StatusLanguage language = model_status_language(driver ? driver : "");
  Link *link = device ? link_of(device) : nullptr;
  if (!queries_on || language == StatusLanguage::kNone || !link || muted(printer)) return std::nullopt;
  const auto answer = link->ask(
      status_query(language), [language](std::span<const unsigned char> b) { return read_status(language, b).has_value(); },
      kAnswerWaitMs);
  auto status = read_status(language, answer);
  if (!status && may_mute) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "The printer does not answer status queries; asking again in %d minutes.",
                    static_cast<int>(kMuteFor.count()));
    const std::lock_guard lock(hearings_mutex);
    hearings[printer].muted_until = Clock::now() + kMuteFor;
  }
  return status;
}

void report(pappl_printer_t *printer, const std::optional<PrinterStatus> &status, bool during_job) {
  pappl_supply_t paper = {};
  paper.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
  paper.is_consumed = true;
  paper.type = PAPPL_SUPPLY_TYPE_OTHER;
  if (!status || status->paper == PrinterStatus::Paper::kUnknown) {
    // IPP's "unknown" level (-2) draws no bar on the web page, and the words
    // say why, where an empty bar would read as out of paper.
    paper.level = -2;
    std::snprintf(paper.description, sizeof(paper.description), "Paper (the printer does not report it)");
    papplPrinterSetSupplies(printer, 1, &paper);
    return;
  }
  int add = 0;
  switch (status->paper) {
    case PrinterStatus::Paper::kOut:
      add |= PAPPL_PREASON_MEDIA_EMPTY | (during_job ? PAPPL_PREASON_MEDIA_NEEDED : 0);
      paper.level = 0;
      std::snprintf(paper.description, sizeof(paper.description), "Paper (out)");
      break;
    case PrinterStatus::Paper::kLow:
      add |= PAPPL_PREASON_MEDIA_LOW;
      paper.level = 10;
      std::snprintf(paper.description, sizeof(paper.description), "Paper (near its end)");
      break;
    default:
      paper.level = 100;
      std::snprintf(paper.description, sizeof(paper.description), "Paper");
      break;
  }
  if (status->cover_open) add |= PAPPL_PREASON_COVER_OPEN;
  if (status->offline) add |= PAPPL_PREASON_OFFLINE;
  if (!status->error.empty()) add |= PAPPL_PREASON_OTHER;
  const auto reasons = static_cast<pappl_preason_t>(add);
  papplPrinterSetReasons(printer, reasons, static_cast<pappl_preason_t>(kStatusReasons & ~add));
  papplPrinterSetSupplies(printer, 1, &paper);
  const std::lock_guard lock(hearings_mutex);
  std::string &message = hearings[printer].message;
  if (status->error != message) {
    message = status->error;
    set_printer_state_message(printer, message);
  }
}

void hear_idle(pappl_printer_t *printer, void *) {
  if (papplPrinterGetNumberOfActiveJobs(printer) > 0) return;
  const char *driver = papplPrinterGetDriverName(printer);
  std::optional<PrinterStatus> status;
  if (queries_on && model_status_language(driver ? driver : "") != StatusLanguage::kNone && !muted(printer)) {
    pappl_device_t *device = papplPrinterOpenDevice(printer);  // none while the printer is busy
    if (!device) return;
    status = ask(printer, device, true);
    papplPrinterCloseDevice(printer);
  }
  report(printer, status, false);
}

bool idle_tick(pappl_system_t *system, void *) {
  papplSystemIteratePrinters(system, hear_idle, nullptr);
  return true;
}

}  // namespace

void enable_status_queries(bool on) { queries_on = on; }

bool status_callback(pappl_printer_t *printer) {
  // Also called while PAPPL loads its state, before anything may be opened.
  if (papplSystemIsRunning(papplPrinterGetSystem(printer))) hear_idle(printer, nullptr);
  return true;
}

void watch_idle_printers(pappl_system_t *system) {
  papplSystemAddTimerCallback(system, 0, kIdleAskSeconds, idle_tick, nullptr);
}

void wait_until_printer_ready(pappl_job_t *job, pappl_device_t *device) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  bool waited = false;
  while (!papplJobIsCanceled(job)) {
    const auto status = ask(printer, device, true);
    report(printer, status, true);
    if (!status || status->ready()) break;
    if (!waited) printer_waits(job, status->what_stops() + " The job waits.", PAPPL_PREASON_NONE);
    waited = true;
    const auto retry = Clock::now() + kReadyRetry;
    while (Clock::now() < retry && !papplJobIsCanceled(job)) std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  if (waited) printer_resumed(job);
}

void hear_printer_after_page(pappl_job_t *job, pappl_device_t *device) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  // A page's bytes may still be ahead of the question: no answer is no news.
  if (const auto status = ask(printer, device, false)) report(printer, status, true);
}

}  // namespace quorvane::app
