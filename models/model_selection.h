// The application's side of the settings seam: a model description and the
// choices a job selects, starting from the model's defaults.
#ifndef QUORVANE_MODELS_MODEL_SELECTION_H
#define QUORVANE_MODELS_MODEL_SELECTION_H

#include <string_view>
#include <vector>

#include "model.h"
#include "settings_source.h"

namespace quorvane::models {

class ModelSelection final : public SettingsSource {
 public:
  explicit ModelSelection(const Model &model);

  const Model &model() const { return *model_; }
  // Selects the option's choice (keyword and name ignoring case); false, and
  // nothing changed, when the model has no such option or choice.
  bool select(std::string_view keyword, std::string_view choice);
  // The selected choice of the option, or null when the model has none.
  const models::Choice *selected_choice(std::string_view keyword) const;

  const char *attribute(const char *keyword) const override;
  SettingsSource::Choice selected(const char *keyword) const override;
  void for_each_option(const std::function<void(const char *keyword, float order)> &visit) const override;

 private:
  const Model *model_;
  std::vector<int> chosen_;  // per option of the model, a choice index
};

}  // namespace quorvane::models

#endif
