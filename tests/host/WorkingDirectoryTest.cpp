#include "host/WorkingDirectory.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

// The number of a process that has ended.
pid_t GonePid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

class WorkingDirectoryTest : public testing::Test {
 protected:
  void SetUp() override { previous = fs::current_path(); }
  void TearDown() override { fs::current_path(previous); }

  static void Touch(const fs::path& file) { std::ofstream(file) << "left"; }

  fs::path previous;
  const TempFolder folder{"workdir"};
};

TEST_F(WorkingDirectoryTest, RemovesOnlyTheFilesOfDeliveriesThatAnEarlierProcessLeft) {
  const fs::path given = folder.Path() / "given";
  fs::create_directories(given / "01012020000000-6.tmp");
  for (const char* name : {"01012020000000-5.tmp", "31122026235959-20.tmp", "notes.tmp", "0101202000000-5.tmp",
                           "01012020000000-5.tmp.bak", "access.log"})
    Touch(given / name);
  Touch(folder.Path() / "outside.txt");
  fs::create_symlink(folder.Path() / "outside.txt", given / "01012020000000-7.tmp");
  {
    const WorkingDirectory workdir(given);
    EXPECT_EQ(fs::current_path(), given);
    EXPECT_EQ(workdir.Removed().deliveries, 2u);
  }
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(given)) left.insert(entry.path().filename());
  EXPECT_EQ(left, (std::set<std::string>{"01012020000000-6.tmp", "notes.tmp", "0101202000000-5.tmp",
                                         "01012020000000-5.tmp.bak", "access.log", "01012020000000-7.tmp"}));
  EXPECT_TRUE(fs::exists(folder.Path() / "outside.txt"));
}

TEST_F(WorkingDirectoryTest, LeavesTheFilesAloneWhileAnotherProcessWorksThere) {
  const fs::path given = folder.Path() / "shared";
  fs::create_directories(given);
  const WorkingDirectory other(given);
  Touch(given / "01012020000000-5.tmp");  // the other one's delivery, in flight
  const WorkingDirectory second(given);
  EXPECT_EQ(second.Removed().deliveries, 0u);
  EXPECT_TRUE(fs::exists(given / "01012020000000-5.tmp"));
}

TEST_F(WorkingDirectoryTest, RemovesThePrivateFoldersOfProcessesGoneAndOnlyThose) {
  const fs::path base = folder.Path();
  const std::string gone = std::to_string(GonePid());
  const std::string alive = std::to_string(::getppid());
  for (const std::string& name : std::vector<std::string>{
           "kelvane-" + gone + "-a1B2c3", "kelvane-" + gone + "-locked", "kelvane-" + alive + "-a1B2c3",
           "kelvane-a1B2c3", "kelvane-" + gone + "-a1B2c", "kelvane-" + gone, "kelvane--1-a1B2c3",
           "other-" + gone + "-a1B2c3"}) {
    fs::create_directories(base / name);
    Touch(base / name / "01012020000000-5.tmp");
  }
  // Held by a process of another namespace, whose number means nothing here.
  const int held = ::open((base / ("kelvane-" + gone + "-locked")).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_SH), 0);
  fs::create_directories(base / "target");
  fs::create_directory_symlink(base / "target", base / ("kelvane-" + gone + "-linked"));
  {
    const WorkingDirectory workdir(std::nullopt, base);
    EXPECT_EQ(workdir.Removed().folders, 1u);
    EXPECT_FALSE(fs::exists(base / ("kelvane-" + gone + "-a1B2c3")));
    const fs::path made = fs::current_path();
    EXPECT_EQ(made.parent_path(), base);
    EXPECT_TRUE(made.filename().string().starts_with("kelvane-" + std::to_string(::getpid()) + "-"));
    // A process started now leaves this one's folder alone.
    const WorkingDirectory next(std::nullopt, base);
    EXPECT_EQ(next.Removed().folders, 0u);
    EXPECT_TRUE(fs::exists(made));
  }
  ::close(held);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(base)) left.insert(entry.path().filename());
  EXPECT_EQ(left, (std::set<std::string>{"kelvane-" + gone + "-locked", "kelvane-" + alive + "-a1B2c3",
                                         "kelvane-a1B2c3", "kelvane-" + gone + "-a1B2c", "kelvane-" + gone,
                                         "kelvane--1-a1B2c3", "other-" + gone + "-a1B2c3", "target",
                                         "kelvane-" + gone + "-linked"}))
      << "the private folders made removed at their end";
}

}  // namespace
}  // namespace kelvane::host
