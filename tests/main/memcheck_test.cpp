// Whole jobs under valgrind's memcheck: for every command conversion and
// binarisation, and for the ways a job fails, the filter must read no
// uninitialised or freed memory and leak nothing. Builds with
// AddressSanitizer skip this: their own leak checker runs in every job there.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "filter_job.h"
#include "test_pages.h"

extern char **environ;

namespace quorvane::test {
namespace {

struct Memcheck {
  int status = -1;  // the filter's exit status, or valgrind's error exit code
  std::string log;
};

constexpr int kValgrindErrors = 99;

// Runs the test filter under memcheck with seven arguments; standard output
// and error go to /dev/null, valgrind's report to a file.
Memcheck memcheck(const TempDir &dir, const std::string &ppd, const std::string &raster,
                  const std::string &options = "") {
  const std::string log = dir.path("memcheck.log");
  std::vector<std::string> args = {"valgrind",
                                   "--tool=memcheck",
                                   "--quiet",
                                   "--leak-check=full",
                                   "--show-leak-kinds=definite,indirect,possible",
                                   "--errors-for-leak-kinds=definite,indirect,possible",
                                   "--track-origins=yes",
                                   "--error-exitcode=" + std::to_string(kValgrindErrors),
                                   "--log-file=" + log,
                                   QUORVANE_TEST_FILTER,
                                   "1",
                                   "user",
                                   "title",
                                   "1",
                                   options,
                                   raster};
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env = {"LANG=C", "PATH=/usr/bin:/bin", "PPD=" + ppd};
  std::vector<char *> envp;
  for (auto &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  Memcheck result;
  const int spawned = posix_spawnp(&pid, "valgrind", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    result.log = "valgrind could not be started (scripts/setup.sh installs it)";
    return result;
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  std::ifstream in(log);
  std::ostringstream s;
  s << in.rdbuf();
  result.log = s.str();
  return result;
}

class MemcheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef QUORVANE_UNDER_ASAN
    GTEST_SKIP() << "memcheck cannot run an AddressSanitizer build";
#endif
#ifdef QUORVANE_TEST_EMULATOR  // a cross build, tests under qemu-user
    GTEST_SKIP() << "valgrind cannot run a foreign binary under qemu-user (x86-64 runs this test)";
#endif
  }
  std::string ppd(const std::string &lines) {
    return dir.write("t.ppd", ppd_text("*StartJobCmd: \"1B40\"\n*EndJobCmd: \"1D5600\"\n" + lines));
  }
  std::string raster(const std::vector<RasterPage> &pages, long cut = -1) {
    const std::string p = dir.path("job.ras");
    EXPECT_TRUE(write_raster_file(p, pages, cut));
    return p;
  }
  TempDir dir;
};

// A small page with ink, blank runs and margins: every step has work to do.
RasterPage small_page() {
  return drawn_page(40, 30, [](unsigned y, unsigned x) {
    return y < 4 || y > 24 || x < 3 || x > 33 ? 0 : (x * 13 + y * 7) % 256;
  });
}

TEST_F(MemcheckTest, EveryConversionAndBinarisationIsCleanAndLeakFree) {
  const std::string ras = raster({small_page(), small_page()});
  for (int conversion = 0; conversion <= 6; ++conversion) {
    const int binarisation = conversion % 3;
    const std::string settings =
        "*ImageCmdConversionAlgorithm: \"" + std::to_string(conversion) + "\"\n" +
        "*ImageBinarizationAlgorithm: \"" + std::to_string(binarisation) + "\"\n" +
        "*PaperSaveTop: \"1\"\n*PaperSaveMiddle: \"2\"\n*PaperSaveBottom: \"1\"\n"
        "*StripLeftPadding: \"1\"\n*StripRightPadding: \"1\"\n*ImageUpsideDownPrint: \"1\"\n"
        "*MaxPrintableWidth: \"24\"\n*HorizontalPrintPositionAdjustment: \"1\"\n"
        "*HorizontalPrintAlignment: \"1\"\n*ORX.IMAGECOMPRESSION: \"" +
        std::to_string(conversion % 3) + "\"\n*ORX.FINISHPRINTFEED: \"3\"\n";
    const Memcheck m = memcheck(dir, ppd(settings), ras);
    // Conversion 5 has no command block: the page fails, and so the job.
    EXPECT_EQ(m.status, conversion == 5 ? 1 : 0) << "conversion " << conversion << "\n" << m.log;
  }
}

TEST_F(MemcheckTest, FailingJobsAreCleanAndLeakFree) {
  // A refused page, a stream cut inside a page, a stream without pages.
  const Memcheck refused = memcheck(dir, ppd(""), raster({small_page(), page_of_depth(8, 2, 1)}));
  EXPECT_EQ(refused.status, 1) << refused.log;
  const Memcheck cut = memcheck(dir, ppd(""), raster({small_page(), small_page()}, 100));
  EXPECT_EQ(cut.status, 1) << cut.log;
  const Memcheck none = memcheck(dir, ppd(""), raster({}));
  EXPECT_EQ(none.status, 1) << none.log;
}

}  // namespace
}  // namespace quorvane::test
