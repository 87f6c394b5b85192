// Hex command text as a PPD carries it, through the decoder and the hooks
// that send it.
//
// Input: a mode byte, then the text. Mode bit 0 clear: the text goes to
// hexstr_to_bytes with a capacity taken from the next byte (into a buffer of
// exactly that size) and then to hex_command_bytes. Set: the text becomes the
// StartJobCmd attribute and the code of an option ordered into the job-start
// range of a PPD, and StartJob sends both. Either way the bytes sent must be
// the text's decoding, whole, and the decoder must stay within its capacity.
#include <cups/ppd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hex_command.h"
#include "hex_decode.h"
#include "job_hooks.h"
#include "ppd_settings.h"

namespace {

std::string g_dir;

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "hex_command: %s\n", what);
    std::abort();
  }
}

// Standard output goes to a file that each run empties and reads back.
void reset_output() {
  check(std::fflush(stdout) == 0, "flush");
  check(ftruncate(fileno(stdout), 0) == 0, "truncate");
  std::rewind(stdout);
}

std::string sent_output() {
  check(std::fflush(stdout) == 0, "flush");
  std::string out;
  char buf[4096];
  off_t at = 0;
  for (;;) {
    const ssize_t n = pread(fileno(stdout), buf, sizeof buf, at);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
  return out;
}

void direct(const std::string &text, unsigned capacity_byte) {
  const std::string want = quorvane::fuzz::decode_hex_text(text);
  const int length = static_cast<int>(text.size());
  // Capacities below, at and above what the text needs.
  const int capacity = static_cast<int>(capacity_byte % (want.size() + 3));
  std::vector<unsigned char> out(static_cast<std::size_t>(capacity));
  const int n = hexstr_to_bytes(text.data(), length, capacity ? out.data() : nullptr, capacity);
  const int expected = std::min<int>(capacity, static_cast<int>(want.size()));
  check(n == expected, "decoded count");
  check(n == 0 || std::memcmp(out.data(), want.data(), std::size_t(n)) == 0, "decoded bytes");

  // A NUL ends the command text as it would end a C string from the PPD.
  const std::vector<unsigned char> bytes = quorvane::hex_command_bytes(text.c_str());
  check(std::string(bytes.begin(), bytes.end()) == quorvane::fuzz::decode_hex_text(text.c_str()),
        "hex_command_bytes");
}

void through_ppd(std::string text) {
  // A quoted PPD value cannot hold a quote; NUL and CR do not survive the
  // PPD reader either.
  std::erase_if(text, [](char c) { return c == '"' || c == '\0' || c == '\r'; });
  const std::string path = g_dir + "/hook.ppd";
  {
    std::ofstream ppd(path, std::ios::binary | std::ios::trunc);
    ppd << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
           "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
           "*PCFileName: \"QVFUZZ.PPD\"\n*Manufacturer: \"quorvane\"\n*Product: \"(Fuzz)\"\n"
           "*ModelName: \"quorvane fuzz\"\n*ShortNickName: \"quorvane fuzz\"\n"
           "*NickName: \"quorvane fuzz\"\n*PSVersion: \"(3010.000) 0\"\n"
           "*ColorDevice: False\n"
        << "*StartJobCmd: \"" << text << "\"\n"
        << "*OpenUI *Init/Init: PickOne\n*OrderDependency: 20.5 AnySetup *Init\n"
           "*DefaultInit: On\n*Init On/On: \""
        << text << "\"\n*CloseUI: *Init\n";
  }
  ppd_file_t *ppd = ppdOpenFile(path.c_str());
  if (ppd == nullptr) return;  // not every text makes a PPD libcups accepts
  ppdMarkDefaults(ppd);
  const char *attribute = retrivePPDAttributeValue(ppd, "StartJobCmd");
  const ppd_choice_t *choice = ppdFindMarkedChoice(ppd, "Init");
  // Compare against what libcups made of the text.
  std::string want(64, '\0');
  if (attribute) want += quorvane::fuzz::decode_hex_text(attribute);
  if (choice && choice->code) want += quorvane::fuzz::decode_hex_text(choice->code);
  reset_output();
  StartJob(ppd);
  check(sent_output() == want, "StartJob bytes");
  ppdClose(ppd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::string dir = (std::filesystem::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) std::abort();
  g_dir = dir;
  if (std::freopen((g_dir + "/stdout").c_str(), "w+", stdout) == nullptr) std::abort();
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2 || size > 8192) return 0;
  const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);
  if (data[0] & 1)
    through_ppd(text);
  else
    direct(text, data[1]);
  return 0;
}
