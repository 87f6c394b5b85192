// The model table against the filter's PPDs: every choice of every model
// gives the same page settings and job commands through either side of the
// settings seam; and IPP job attributes turned into the models' choices.
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "drivers.h"
#include "ipp_mapping.h"
#include "model_selection.h"
#include "ppd_settings.h"
#include "test_page.h"

namespace quorvane::app {
namespace {

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdCloser>;

std::string describe(const PageSettings &s) {
  std::ostringstream o;
  o << s.paper_saving.top << ' ' << s.paper_saving.middle << ' ' << s.paper_saving.bottom << ' ' << s.strip_left
    << s.strip_right << ' ' << static_cast<int>(s.binarization) << ' ' << static_cast<int>(s.command) << ' '
    << s.upside_down << ' ' << s.placement.max_printable_width << ' ' << s.placement.adjust << ' '
    << static_cast<int>(s.placement.alignment) << ' ' << s.placement.offset << " tspl " << s.tspl.speed << ' '
    << s.tspl.density << ' ' << s.tspl.paper_type << " orx " << s.orx.paper_type << ' ' << s.orx.image_compression
    << ' ' << s.orx.speed << ' ' << s.orx.density << ' ' << s.orx.finish_feed << ' ' << s.orx.finish_cut;
  return o.str();
}

void expect_same(const SettingsSource &ppd, const SettingsSource &model, const std::string &what) {
  EXPECT_EQ(describe(read_page_settings(ppd)), describe(read_page_settings(model))) << what;
  for (JobBoundary at : {JobBoundary::kStartJob, JobBoundary::kStartDoc, JobBoundary::kStartPage, JobBoundary::kEndPage,
                         JobBoundary::kEndDoc, JobBoundary::kEndJob})
    EXPECT_EQ(hook_commands(ppd, at), hook_commands(model, at)) << what << " boundary " << static_cast<int>(at);
}

TEST(ModelTable, EveryChoiceOfEveryModelMatchesTheFiltersPpd) {
  ASSERT_FALSE(models::all_models().empty());
  for (const models::Model &model : models::all_models()) {
    const std::string path = std::string(QV_PPD_DIR) + "/" + model.driver + ".ppd";
    Ppd ppd(ppdOpenFile(path.c_str()));
    ASSERT_TRUE(ppd) << path;
    ppdMarkDefaults(ppd.get());
    models::ModelSelection selection(model);
    expect_same(MarkedPpd(ppd.get()), selection, std::string(model.driver) + " defaults");
    for (const models::Option &option : model.options) {
      for (const models::Choice &choice : option.choices) {
        Ppd marked(ppdOpenFile(path.c_str()));
        ppdMarkDefaults(marked.get());
        ppdMarkOption(marked.get(), option.keyword, choice.name);
        models::ModelSelection chosen(model);
        ASSERT_TRUE(chosen.select(option.keyword, choice.name));
        expect_same(MarkedPpd(marked.get()), chosen,
                    std::string(model.driver) + " " + option.keyword + "=" + choice.name);
      }
    }
    EXPECT_FALSE(selection.select("NoSuchOption", "1"));
    EXPECT_FALSE(selection.select("CutAtJobEnd", "Sideways"));
  }
}

TEST(ModelTable, ModelsCarryTheirLanguageDeviceIdAndSpeeds) {
  for (const models::Model &model : models::all_models()) {
    EXPECT_FALSE(model.device_id_patterns.empty()) << model.driver;
    EXPECT_NE(std::string(model.device_id).find("CMD:"), std::string::npos) << model.driver;
    for (const SpeedChoice &speed : speed_choices(model)) EXPECT_GT(speed.speed, 0) << model.driver;
  }
  const models::Model *tspl = models::find_model("qv4tspl");
  ASSERT_TRUE(tspl);
  EXPECT_EQ(tspl->language, models::CommandLanguage::kTspl);
  const auto speeds = speed_choices(*tspl);
  ASSERT_EQ(speeds.size(), 5u);
  EXPECT_EQ(speeds.front().speed, 5080);  // 2 in/s
  EXPECT_EQ(speed_choices(*models::find_model("qvorxlbl")).back().speed, 15000);
}

// A job's IPP attributes and the choices they select.
struct MappingCase {
  const char *name;
  const char *model;
  JobRequest request;
  std::vector<std::pair<std::string, std::string>> expected;  // among the choices
  std::vector<std::string> absent;                            // keywords left alone
};

JobRequest with(std::function<void(JobRequest &)> set) {
  JobRequest r;
  set(r);
  return r;
}

TEST(IppMapping, JobAttributesSelectTheModelsChoices) {
  const MappingCase cases[] = {
      {"dithering by default", "qv80rcpt", {}, {{"ImageBinarizationAlgorithm", "0"}}, {}},
      {"bi-level thresholds",
       "qv80rcpt",
       with([](JobRequest &r) { r.color_mode = PAPPL_COLOR_MODE_BI_LEVEL; }),
       {{"ImageBinarizationAlgorithm", "1"}},
       {}},
      {"photo diffuses",
       "qv58rcpt",
       with([](JobRequest &r) { r.content = PAPPL_CONTENT_PHOTO; }),
       {{"ImageBinarizationAlgorithm", "2"}},
       {}},
      {"nearest speed",
       "qv4tspl",
       with([](JobRequest &r) { r.print_speed = 4 * 2540 + 300; }),
       {{"TSPL.SPEED", "4"}},
       {}},
      {"speed in mm/s steps", "qvorxlbl", with([](JobRequest &r) { r.print_speed = 10000; }), {{"ORX.SPEED", "4"}}, {}},
      {"no speed leaves the printer's", "qv4tspl", {}, {}, {"TSPL.SPEED"}},
      {"printer's own darkness by default", "qv4tspl", {}, {{"TSPL.DENSITY", "-1"}}, {}},
      {"middle darkness when the printer's is let go",
       "qv4tspl",
       with([](JobRequest &r) {
         r.vendor = {{kOwnDarknessName, "false"}};
       }),
       {{"TSPL.DENSITY", "10"}},
       {}},
      {"lightest",
       "qv4tspl",
       with([](JobRequest &r) {
         r.vendor = {{kOwnDarknessName, "false"}};
         r.darkness_configured = 0;
       }),
       {{"TSPL.DENSITY", "4"}},
       {}},
      {"job darkness moves from the printer darkness",
       "qvorxlbl",
       with([](JobRequest &r) { r.print_darkness = 50; }),
       {{"ORX.DENSITY", "15"}},
       {}},
      {"tracking by mark",
       "qv4tspl",
       with([](JobRequest &r) { r.tracking = PAPPL_MEDIA_TRACKING_MARK; }),
       {{"TSPL.PAPERTYPE", "2"}},
       {}},
      {"trim cuts the receipt", "qv80rcpt", with([](JobRequest &r) { r.cut = true; }), {{"CutAtJobEnd", "Full"}}, {}},
      {"trim cuts each label",
       "qvorxlbl",
       with([](JobRequest &r) { r.cut = true; }),
       {{"ORX.FINISHPRINTCUT", "2"}},
       {}},
      {"the job's own cut wins over trim",
       "qv80rcpt",
       with([](JobRequest &r) {
         r.cut = true;
         r.vendor = {{"cut-at-job-end", "partial"}};
         r.job_vendor_names = {"cut-at-job-end"};
       }),
       {{"CutAtJobEnd", "Partial"}},
       {}},
      {"a cut after each page is the last cut",
       "qv80rcpt",
       with([](JobRequest &r) {
         r.cut = true;
         r.vendor = {{"cut-after-each-page", "partial"}};
       }),
       {{"CutAfterEachPage", "Partial"}, {"CutAtJobEnd", "None"}},
       {}},
      {"vendor values by IPP name",
       "qv80rcpt",
       with([](JobRequest &r) {
         r.vendor = {{"paper-save-top", "+8"}, {"alignment", "right"}, {"strip-left-margin", "true"}};
       }),
       {{"PaperSaveTop", "8"}, {"HorizontalPrintAlignment", "2"}, {"StripLeftPadding", "1"}},
       {}},
  };
  for (const MappingCase &c : cases) {
    const models::Model *model = models::find_model(c.model);
    ASSERT_TRUE(model) << c.name;
    const auto got = model_choices(*model, c.request);
    for (const auto &want : c.expected) {
      bool found = false;
      for (const auto &pair : got) found = found || pair == want;
      EXPECT_TRUE(found) << c.name << ": " << want.first << "=" << want.second;
    }
    for (const std::string &keyword : c.absent)
      for (const auto &pair : got) EXPECT_NE(pair.first, keyword) << c.name;
  }
}

TEST(IppMapping, ValuesTheModelDoesNotOfferAreNamed) {
  const models::Model &receipt = *models::find_model("qv80rcpt");
  const models::Model &label = *models::find_model("qv4tspl");
  const struct {
    const models::Model *model;
    const char *name, *value, *expected;
  } cases[] = {
      {&receipt, "cut-at-job-end", "sideways", "cut-at-job-end=sideways"},
      {&receipt, "paper-save-top", "7", "paper-save-top=7"},
      {&receipt, "paper-save-top", "8", ""},
      {&label, kOwnDarknessName, "maybe", "darkness-from-printer=maybe"},
      {&label, kOwnDarknessName, "true", ""},
  };
  for (const auto &c : cases) {
    JobRequest r;
    r.vendor = {{c.name, c.value}};
    r.job_vendor_names = {c.name};
    EXPECT_EQ(unsupported_vendor_value(*c.model, r), c.expected) << c.name << "=" << c.value;
  }
}

TEST(IppMapping, RefusalsNameTheValueAndTheValuesAllowed) {
  const models::Model &receipt = *models::find_model("qv80rcpt");
  const models::Model &label = *models::find_model("qv4tspl");
  EXPECT_EQ(vendor_value_problem(receipt, "cut-at-job-end", "sideways"),
            "cut-at-job-end=sideways is not supported; the values are full, partial, feed, none.");
  EXPECT_EQ(vendor_value_problem(receipt, "paper-save-top", "24"), "");
  EXPECT_EQ(vendor_value_problem(label, kOwnDarknessName, "on"),
            "darkness-from-printer=on is not supported; the values are true, false.");
  EXPECT_EQ(vendor_value_problem(receipt, kOwnDarknessName, "on"), "");  // not the receipt's
  const struct {
    int speed;
    bool refused;
  } speeds[] = {{0, false}, {5080, false}, {15240, false}, {4, true}, {5079, true}, {15241, true}};
  for (const auto &c : speeds) EXPECT_EQ(!print_speed_problem(label, c.speed).empty(), c.refused) << c.speed;
  EXPECT_EQ(print_speed_problem(label, 4),
            "print-speed=4 is outside 5080-15240 (hundredths of a millimetre per second).");
  EXPECT_EQ(print_speed_problem(receipt, 4), "");  // no speeds to choose from
}

TEST(IppMapping, WebLabelsCarryTextsAndUnits) {
  const std::string strings = web_strings();
  for (const char *entry :
       {"\"paper-save-top\" = \"Blank paper at the top (dots, 8 = 1 mm)\";",
        "\"feed-after-page\" = \"Feed after every page (mm)\";",
        "\"cut-at-job-end.partial\" = \"Feed and cut partially (leaves a tab) after the last page\";",
        "\"darkness-from-printer\" = "})
    EXPECT_NE(strings.find(entry), std::string::npos) << entry;
}

TEST(Identify, ABeepAFeedOrNothing) {
  const struct {
    models::CommandLanguage language;
    std::vector<unsigned char> bytes;
  } cases[] = {{models::CommandLanguage::kTspl, {'B', 'E', 'E', 'P', '\r', '\n'}},
               {models::CommandLanguage::kEscPos, {0x1B, 0x64, 0x02}},
               {models::CommandLanguage::kOrx, {}}};
  for (const auto &c : cases) {
    const auto got = identify_command(c.language);
    EXPECT_EQ(std::vector<unsigned char>(got.begin(), got.end()), c.bytes);
  }
}

TEST(TestPage, FillsThePrintableWidthWithARulerInMillimetres) {
  for (const models::Model &model : models::all_models()) {
    const GrayPicture page = test_page(model);
    EXPECT_EQ(page.width, std::atoi(models::find_attribute(model, "MaxPrintableWidth"))) << model.driver;
    ASSERT_EQ(page.pixels.size(), static_cast<size_t>(page.width) * static_cast<size_t>(page.height));
    // A long tick at 10 mm, white paper halfway to the next one.
    const int ten_mm = static_cast<int>(std::lround(10 * model.x_dpi / 25.4));
    const int row = kRulerTop + 20;
    EXPECT_EQ(page.at(ten_mm, row), 0) << model.driver;
    EXPECT_EQ(page.at(ten_mm + static_cast<int>(model.x_dpi / 25.4 / 2), kRulerTop + 4), 255) << model.driver;
    // Density steps darken from left to right.
    int below = 255;
    bool steps_found = false;
    for (int y = kRulerTop + 40; y < page.height && !steps_found; ++y) {
      if (page.at(1, y) == 255 || page.at(page.width - 2, y) != 0) continue;
      steps_found = true;
      for (int i = 0; i < 5; ++i) {
        const unsigned char gray = page.at(i * (page.width / 5) + 2, y);
        EXPECT_LT(gray, below) << model.driver << " step " << i;
        below = gray;
      }
    }
    EXPECT_TRUE(steps_found) << model.driver;
  }
}

}  // namespace
}  // namespace quorvane::app
