#include "platform/files/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kelvane::files {
namespace {

namespace fs = std::filesystem;

std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

// A fresh folder per test, removed with everything in it at the end.
class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "kelvane-files-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    folder_ = name;
  }

  // Gives write permission back first, so that nothing a test locked stays behind.
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(folder_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink()) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(folder_, ignored);
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  std::string Make(const std::string& name, const std::string& content = "12345") const {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
  }

  fs::path folder_;
};

TEST_F(FilesTest, TimesSetThroughAnOpenFileReadBackExactly) {
  const std::string name = Make("t.bin");
  const FILETIME access = FromTicks(126256467061234567);  // 2001-02-03 04:05:06.1234567
  const FILETIME modified = FromTicks(116444735995000000);   // 1969-12-31 23:59:59.5
  const FILETIME creation = FromTicks(1);
  const HFILE file = _lopen(name.c_str(), OF_WRITE | OF_SHARE_DENY_WRITE);
  ASSERT_NE(file, HFILE_ERROR);
  EXPECT_TRUE(SetFileTime(file, &creation, &access, &modified));
  ASSERT_EQ(_lclose(file), 0);

  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(name.c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(Ticks(data.ftLastAccessTime), 126256467061234567u);
  EXPECT_EQ(Ticks(data.ftLastWriteTime), 116444735995000000u);
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto nowTicks =
      static_cast<std::uint64_t>(now / std::chrono::nanoseconds(100)) + 116444736000000000u;
  EXPECT_LT(nowTicks - Ticks(data.ftCreationTime), 600'000'000u) << "the last status change";
  EXPECT_STREQ(data.cFileName, "t.bin");
  EXPECT_EQ(data.nFileSizeLow, 5u);

  // A null time leaves that time as it was.
  const FILETIME later = FromTicks(125911583999999999);  // 1999-12-31 23:59:59.9999999
  const HFILE again = _lopen(name.c_str(), OF_READ);
  ASSERT_NE(again, HFILE_ERROR);
  EXPECT_TRUE(SetFileTime(again, nullptr, nullptr, &later));
  EXPECT_TRUE(SetFileTime(again, nullptr, nullptr, nullptr));
  ASSERT_EQ(_lclose(again), 0);
  EXPECT_FALSE(SetFileTime(again, nullptr, nullptr, nullptr)) << "closed";
  EXPECT_FALSE(SetFileTime(again, nullptr, &access, nullptr)) << "closed";
  ASSERT_NE(FindFirstFileA(name.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Ticks(data.ftLastAccessTime), 126256467061234567u);
  EXPECT_EQ(Ticks(data.ftLastWriteTime), 125911583999999999u);
}

TEST_F(FilesTest, AttributesAreThePermissionBits) {
  const std::string name = Make("a.txt");
  EXPECT_TRUE(SetFileAttributesA(name.c_str(), 0x10000 | 01604));
  WIN32_FIND_DATAA data;
  ASSERT_NE(FindFirstFileA(name.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, 01604u);
  EXPECT_EQ(fs::status(name).permissions(), static_cast<fs::perms>(01604));
  fs::create_symlink(name, Path("link"));
  ASSERT_NE(FindFirstFileA(Path("link").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, 01604u) << "a link reports its target";

  const std::string folder = Path("sub");
  fs::create_directory(folder);
  EXPECT_TRUE(SetFileAttributesA(folder.c_str(), 0750));
  ASSERT_NE(FindFirstFileA((folder + "/").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, 0750u);
  EXPECT_STREQ(data.cFileName, "sub");
  EXPECT_FALSE(SetFileAttributesA(Path("missing").c_str(), 0644));
}

TEST_F(FilesTest, FindFirstFileTakesNamesLiterally) {
  Make("abc");
  WIN32_FIND_DATAA data;
  for (const char* pattern : {"*.jpg", "a?c", "a*", "*", "missing"}) {
    EXPECT_EQ(FindFirstFileA(Path(pattern).c_str(), &data), INVALID_HANDLE_VALUE) << pattern;
  }
  EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindFirstFileA("", &data), INVALID_HANDLE_VALUE);

  const std::string star = Make("a*c");
  ASSERT_NE(FindFirstFileA(star.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "a*c");
  EXPECT_TRUE(DeleteFileA(star.c_str()));
  EXPECT_FALSE(fs::exists(star));
  EXPECT_TRUE(fs::exists(Path("abc")));
}

TEST_F(FilesTest, FindFirstFileSplitsLargeSizes) {
  const std::string name = Make("big");
  fs::resize_file(name, (std::uintmax_t{5} << 32) + 3);
  WIN32_FIND_DATAA data;
  ASSERT_NE(FindFirstFileA(name.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeHigh, 5u);
  EXPECT_EQ(data.nFileSizeLow, 3u);
}

TEST_F(FilesTest, DeleteFileRefusesReadOnlyFilesFoldersAndMissingNames) {
  // Any write bit, for anyone, makes a file deletable; none makes it read-only.
  const std::pair<int, bool> table[] = {{0444, false}, {0400, false}, {0, false},   {0644, true},
                                        {0200, true},  {0002, true},  {0020, true}};
  for (const auto& [mode, deleted] : table) {
    const std::string name = Make("f" + std::to_string(mode));
    fs::permissions(name, static_cast<fs::perms>(mode));
    EXPECT_EQ(DeleteFileA(name.c_str()), deleted ? TRUE : FALSE) << std::oct << mode;
    EXPECT_NE(fs::exists(name), deleted) << std::oct << mode;
  }
  const std::string locked = Make("locked");
  fs::permissions(locked, fs::perms{0444});
  fs::create_symlink(locked, Path("link"));
  EXPECT_TRUE(DeleteFileA(Path("link").c_str())) << "the link goes, not its target";
  EXPECT_FALSE(fs::is_symlink(Path("link")));
  EXPECT_TRUE(fs::exists(locked));

  const std::string folder = Path("sub");
  fs::create_directory(folder);
  EXPECT_FALSE(DeleteFileA(folder.c_str()));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(DeleteFileA(Path("missing").c_str()));
  EXPECT_FALSE(DeleteFileA(nullptr));
  EXPECT_FALSE(DeleteFileA(""));
}

TEST_F(FilesTest, LopenOpensExistingFilesOnlyWithTheAccessAsked) {
  const std::string name = Make("data");
  char byte = 0;
  const HFILE reading = _lopen(name.c_str(), OF_READ);
  ASSERT_NE(reading, HFILE_ERROR);
  EXPECT_EQ(::read(reading, &byte, 1), 1);
  EXPECT_EQ(::write(reading, "x", 1), -1);
  EXPECT_NE(::fcntl(reading, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(_lclose(reading), 0);
  EXPECT_EQ(_lclose(reading), HFILE_ERROR) << "closed twice";

  const HFILE writing = _lopen(name.c_str(), OF_WRITE);
  ASSERT_NE(writing, HFILE_ERROR);
  EXPECT_EQ(::read(writing, &byte, 1), -1);
  EXPECT_EQ(::write(writing, "x", 1), 1);
  EXPECT_EQ(_lclose(writing), 0);

  const HFILE both = _lopen(name.c_str(), OF_READWRITE | OF_SHARE_DENY_WRITE);
  ASSERT_NE(both, HFILE_ERROR);
  EXPECT_EQ(::read(both, &byte, 1), 1);
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(::write(both, "y", 1), 1);
  EXPECT_EQ(_lclose(both), 0);

  EXPECT_EQ(_lopen(name.c_str(), 3), HFILE_ERROR);
  EXPECT_EQ(_lopen(Path("missing").c_str(), OF_READWRITE), HFILE_ERROR);
  EXPECT_EQ(_lopen(Path("missing").c_str(), OF_WRITE | 0x1000), HFILE_ERROR);
  EXPECT_FALSE(fs::exists(Path("missing")));
  EXPECT_EQ(_lopen(nullptr, OF_READ), HFILE_ERROR);

  fs::create_symlink(name, Path("link"));
  EXPECT_EQ(_lopen(Path("link").c_str(), OF_READ), HFILE_ERROR);
}

}  // namespace
}  // namespace kelvane::files
