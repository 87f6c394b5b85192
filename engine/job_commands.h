// The boundaries of a job at which printer commands are sent around pages.
#ifndef QUORVANE_ENGINE_JOB_COMMANDS_H
#define QUORVANE_ENGINE_JOB_COMMANDS_H

#include <array>
#include <span>

namespace quorvane {

enum class JobBoundary { kStartJob, kStartDoc, kStartPage, kEndPage, kEndDoc, kEndJob };

// The 64 zero bytes a job opens with, before any command: they end whatever
// a printer still holds of an aborted job.
inline std::span<const unsigned char> job_lead_in() {
  static constexpr std::array<unsigned char, 64> kZeros{};
  return kZeros;
}

}  // namespace quorvane

#endif
