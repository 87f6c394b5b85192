#include "device_id.h"

#include <algorithm>
#include <cctype>

namespace quorvane::app {

namespace {

std::string trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

std::string upper(std::string text) {
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool mentions(const DeviceId &id, std::string_view word) {
  return upper(id.model).find(word) != std::string::npos || upper(id.description).find(word) != std::string::npos;
}

StatusLanguage language_of(const DeviceId &id) {
  for (const std::string &command : id.commands) {
    if (command.find("ESC/POS") != std::string::npos || command == "ESCPOS") return StatusLanguage::kEscPos;
    if (command.starts_with("TSPL") || command == "XPP" || command == "XL") return StatusLanguage::kTspl;
  }
  return StatusLanguage::kNone;
}

}  // namespace

DeviceId parse_device_id(std::string_view text) {
  DeviceId id;
  while (!text.empty()) {
    const size_t end = text.find(';');
    const std::string_view pair = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const size_t colon = pair.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = upper(trimmed(pair.substr(0, colon)));
    const std::string value = trimmed(pair.substr(colon + 1));
    if (key == "MFG" || key == "MANUFACTURER") id.manufacturer = value;
    else if (key == "MDL" || key == "MODEL") id.model = value;
    else if (key == "DES" || key == "DESCRIPTION") id.description = value;
    else if (key == "CMD" || key == "COMMAND SET") {
      std::string_view commands = value;
      while (!commands.empty()) {
        const size_t comma = commands.find(',');
        if (std::string command = upper(trimmed(commands.substr(0, comma))); !command.empty())
          id.commands.push_back(std::move(command));
        commands = comma == std::string_view::npos ? std::string_view() : commands.substr(comma + 1);
      }
    }
  }
  return id;
}

std::optional<std::string> match_model(const DeviceId &id, std::span<const ModelTraits> models) {
  // Our own models say who they are.
  if (upper(id.manufacturer) == "QUORVANE")
    for (const ModelTraits &m : models)
      if (m.model_name == id.model) return m.driver;
  const StatusLanguage language = language_of(id);
  if (language == StatusLanguage::kNone) return std::nullopt;
  const bool narrow = mentions(id, "58");
  // The resolution said, else the commonest.
  const int dpi = mentions(id, "300") ? 300 : mentions(id, "180") ? 180 : 203;
  const ModelTraits *best = nullptr;
  int best_score = -1;
  for (const ModelTraits &m : models) {
    if (m.language != language) continue;
    // Receipts: 58 mm paper prints about 48 mm, 80 mm paper 72.
    int score = 0;
    if (language == StatusLanguage::kEscPos) score += (m.printable_mm < 60) == narrow ? 2 : 0;
    score += m.dpi == dpi ? 1 : 0;
    if (score > best_score) best = &m, best_score = score;
  }
  return best ? std::optional<std::string>(best->driver) : std::nullopt;
}

}  // namespace quorvane::app
