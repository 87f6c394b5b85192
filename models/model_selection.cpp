#include "model_selection.h"

namespace quorvane::models {

ModelSelection::ModelSelection(const Model &model) : model_(&model) {
  for (const Option &option : model.options) chosen_.push_back(option.default_index);
}

bool ModelSelection::select(std::string_view keyword, std::string_view choice) {
  const Option *option = find_option(*model_, keyword);
  if (option == nullptr) return false;
  const auto index = find_choice(*option, choice);
  if (!index) return false;
  chosen_[static_cast<size_t>(option - model_->options.data())] = *index;
  return true;
}

const models::Choice *ModelSelection::selected_choice(std::string_view keyword) const {
  const Option *option = find_option(*model_, keyword);
  if (option == nullptr || option->choices.empty()) return nullptr;
  const int index = chosen_[static_cast<size_t>(option - model_->options.data())];
  return &option->choices[static_cast<size_t>(index)];
}

const char *ModelSelection::attribute(const char *keyword) const { return find_attribute(*model_, keyword); }

SettingsSource::Choice ModelSelection::selected(const char *keyword) const {
  const models::Choice *choice = selected_choice(keyword);
  if (choice == nullptr) return {};
  return {choice->name, choice->code};
}

void ModelSelection::for_each_option(const std::function<void(const char *keyword, float order)> &visit) const {
  for (const Option &option : model_->options) visit(option.keyword, option.order);
}

}  // namespace quorvane::models
