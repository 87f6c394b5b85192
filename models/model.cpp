#include "model.h"

#include <strings.h>

#include <string>

namespace quorvane::models {

namespace {

bool same_keyword(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

const Model *find_model(std::string_view driver) {
  for (const Model &model : all_models())
    if (driver == model.driver) return &model;
  return nullptr;
}

const Option *find_option(const Model &model, std::string_view keyword) {
  for (const Option &option : model.options)
    if (same_keyword(option.keyword, keyword)) return &option;
  return nullptr;
}

const char *find_attribute(const Model &model, std::string_view name) {
  for (const Attribute &attribute : model.attributes)
    if (same_keyword(attribute.name, name)) return attribute.value;
  return nullptr;
}

std::optional<int> find_choice(const Option &option, std::string_view name) {
  for (size_t i = 0; i < option.choices.size(); ++i)
    if (same_keyword(option.choices[i].name, name)) return static_cast<int>(i);
  return std::nullopt;
}

}  // namespace quorvane::models
