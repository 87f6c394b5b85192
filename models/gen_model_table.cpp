// Build tool: writes the model table (model.h) from the PPDs ppdc compiles
// for the filter, so that the Printer Application carries the very same
// models without parsing a PPD at run time.
//   quorvane-gen-model-table OUTPUT.cpp MODEL.ppd...
#include <cups/ppd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string literal(const char *text) {
  if (text == nullptr) return "nullptr";
  std::string out = "\"";
  char octal[8];
  for (const unsigned char c : std::string(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(octal, sizeof(octal), "\\%03o", c);
      out += octal;
    }
  }
  return out + "\"";
}

// A float literal that reads back as the very same float.
std::string float_literal(double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.9g", value);
  std::string out = text;
  if (out.find_first_of(".e") == std::string::npos) out += ".0";
  return out + "f";
}

int hmm(float points) { return static_cast<int>(std::lround(points * 2540.0 / 72.0)); }

bool parse_int(const char *text, int *value) {
  if (text == nullptr || *text == '\0') return false;
  char *end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0') return false;
  *value = static_cast<int>(v);
  return true;
}

const char *attr_value(ppd_file_t *ppd, const char *name, const char *spec) {
  ppd_attr_t *attr = ppdFindAttr(ppd, name, spec);
  return attr ? attr->value : nullptr;
}

[[noreturn]] void fail(const std::string &message) {
  std::fprintf(stderr, "quorvane-gen-model-table: %s\n", message.c_str());
  std::exit(1);
}

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};

void write_model(std::ostream &out, std::ostream &table, const std::string &path, int index) {
  std::unique_ptr<ppd_file_t, PpdCloser> owned(ppdOpenFile(path.c_str()));
  if (!owned) fail("cannot read " + path);
  ppd_file_t *ppd = owned.get();
  ppdMarkDefaults(ppd);
  std::string driver = path.substr(path.find_last_of('/') + 1);
  if (driver.size() > 4 && driver.ends_with(".ppd")) driver.resize(driver.size() - 4);
  const std::string p = "k" + std::to_string(index);

  const char *language = attr_value(ppd, "quorvaneCommandLanguage", "");
  std::string language_enum;
  if (language && std::strcmp(language, "ESC/POS") == 0)
    language_enum = "CommandLanguage::kEscPos";
  else if (language && std::strcmp(language, "TSPL") == 0)
    language_enum = "CommandLanguage::kTspl";
  else if (language && std::strcmp(language, "ORX") == 0)
    language_enum = "CommandLanguage::kOrx";
  else
    fail(driver + ": no quorvaneCommandLanguage ESC/POS, TSPL or ORX");
  const char *device_id = attr_value(ppd, "1284DeviceID", "");
  if (device_id == nullptr) fail(driver + ": no 1284DeviceID");

  out << "constexpr const char *" << p << "Patterns[] = {";
  int patterns = 0;
  for (ppd_attr_t *a = ppdFindAttr(ppd, "quorvaneDeviceIdPattern", nullptr); a;
       a = ppdFindNextAttr(ppd, "quorvaneDeviceIdPattern", nullptr), ++patterns)
    out << literal(a->value) << ", ";
  if (patterns == 0) fail(driver + ": no quorvaneDeviceIdPattern");
  out << "};\n";

  int x_dpi = 203, y_dpi = 0;
  if (ppd_choice_t *res = ppdFindMarkedChoice(ppd, "Resolution"))
    if (std::sscanf(res->choice, "%dx%d", &x_dpi, &y_dpi) < 2) y_dpi = x_dpi;
  if (y_dpi <= 0) y_dpi = x_dpi;

  ppd_option_t *page_size = ppdFindOption(ppd, "PageSize");
  const ppd_size_t *default_size = ppdPageSize(ppd, nullptr);
  out << "constexpr MediaSize " << p << "Sizes[] = {\n";
  int sizes = 0, default_index = 0;
  for (int i = 0; i < ppd->num_sizes; ++i) {
    const ppd_size_t &size = ppd->sizes[i];
    if (std::strcmp(size.name, "Custom") == 0) continue;
    const ppd_choice_t *choice = ppdFindChoice(page_size, size.name);
    if (default_size && std::strcmp(default_size->name, size.name) == 0) default_index = sizes;
    out << "    {" << literal(size.name) << ", " << literal(choice ? choice->text : size.name) << ", "
        << hmm(size.width) << ", " << hmm(size.length) << ", " << hmm(size.left) << ", " << hmm(size.bottom) << "},\n";
    ++sizes;
  }
  out << "};\n";

  std::ostringstream options;
  int option_index = 0;
  for (ppd_option_t *o = ppdFirstOption(ppd); o != nullptr; o = ppdNextOption(ppd), ++option_index) {
    const std::string c = p + "Choices" + std::to_string(option_index);
    const char *unit = attr_value(ppd, "quorvaneMmPerSecond", o->keyword);
    out << "constexpr Choice " << c << "[] = {\n";
    int def = 0;
    for (int i = 0; i < o->num_choices; ++i) {
      const ppd_choice_t &choice = o->choices[i];
      int number = 0;
      const bool numeric = parse_int(choice.choice, &number);
      const double speed = unit && numeric && number > 0 ? std::atof(unit) * number : 0.0;
      if (std::strcmp(choice.choice, o->defchoice) == 0) def = i;
      out << "    {" << literal(choice.choice) << ", " << literal(choice.text) << ", " << literal(choice.code) << ", "
          << (numeric ? std::to_string(number) : std::string("std::nullopt")) << ", " << float_literal(speed) << "},\n";
    }
    out << "};\n";
    options << "    {" << literal(o->keyword) << ", " << literal(o->text) << ", " << float_literal(o->order) << ", "
            << c << ", " << def << "},\n";
  }
  out << "constexpr Option " << p << "Options[] = {\n" << options.str() << "};\n";

  out << "constexpr Attribute " << p << "Attributes[] = {\n";
  for (int i = 0; i < ppd->num_attrs; ++i) {
    const ppd_attr_t *a = ppd->attrs[i];
    if (a->spec[0] == '\0' && a->value) out << "    {" << literal(a->name) << ", " << literal(a->value) << "},\n";
  }
  out << "};\n\n";

  table << "      {" << literal(driver.c_str()) << ", " << literal(ppd->nickname) << ", " << literal(ppd->manufacturer)
        << ", " << literal(ppd->modelname) << ", " << language_enum << ", " << literal(device_id) << ", " << p
        << "Patterns, " << x_dpi << ", " << y_dpi << ", " << p << "Sizes, " << default_index << ", "
        << (ppd->variable_sizes ? "true" : "false") << ", " << hmm(ppd->custom_min[0]) << ", "
        << hmm(ppd->custom_min[1]) << ", " << hmm(ppd->custom_max[0]) << ", " << hmm(ppd->custom_max[1]) << ", " << p
        << "Options, " << p << "Attributes},\n";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) fail("usage: quorvane-gen-model-table OUTPUT.cpp MODEL.ppd...");
  std::ostringstream body, table;
  body << "// Generated by quorvane-gen-model-table from the models' PPDs; do not edit.\n"
          "#include \"model.h\"\n\nnamespace quorvane::models {\nnamespace {\n\n";
  for (int i = 2; i < argc; ++i) write_model(body, table, argv[i], i - 2);
  body << "constexpr Model kModels[] = {\n"
       << table.str() << "};\n\n}  // namespace\n\n"
       << "std::span<const Model> all_models() { return kModels; }\n\n}  // namespace quorvane::models\n";
  const std::string text = body.str();
  std::ifstream old(argv[1]);
  std::stringstream existing;
  existing << old.rdbuf();
  if (existing.str() == text) return 0;  // untouched, so nothing rebuilds
  std::ofstream file(argv[1]);
  file << text;
  return file ? 0 : 1;
}
