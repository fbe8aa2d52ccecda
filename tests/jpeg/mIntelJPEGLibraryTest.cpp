#include "jpeg/mIntelJPEGLibrary.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "support/Automation.h"

namespace kelvane::jpeg {
namespace {

namespace fs = std::filesystem;

class JpegFile : public testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("kelvane-jpeg-" + std::to_string(::getpid()) + "-" +
              testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(folder);
  }

  std::string Path(const std::string& name) const { return (folder / name).string(); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // The error WriteJpegFile raises, or a default one when it raises none.
  static oleaut::AutomationError ErrorOf(dib::cDIBSection& dib, const std::string& path) {
    try {
      WriteJpegFile(dib, path);
    } catch (const oleaut::AutomationError& e) {
      return e;
    }
    return oleaut::AutomationError(0, "", "");
  }

  fs::path folder;
};

// A 16 x 16 section of four flat 8 x 8 blocks: red, green across the top,
// blue, white across the bottom of the picture.
void PaintBlocks(dib::cDIBSection& dib) {
  ASSERT_TRUE(oleaut::IsTrue(dib.Create(16, 16)));
  const std::uint8_t colors[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int block = (y / 8) * 2 + x / 8;
      std::uint8_t* p = dib.DIBSectionBitsPtr() + (15 - y) * dib.BytesPerScanLine() + x * 3;
      std::copy(colors[block], colors[block] + 3, p);
    }
}

TEST(DescribeDib, FillsThePictureFieldsWithThePaddingAndTheBottomUpMark) {
  for (auto [width, pad] : {std::pair{3, 3}, {4, 0}, {5, 1}}) {
    dib::cDIBSection dib;
    ASSERT_TRUE(oleaut::IsTrue(dib.Create(width, 2)));
    ijl::JPEG_CORE_PROPERTIES record{};
    DescribeDib(dib, "x.jpg", record);
    EXPECT_EQ(record.DIBPadBytes, pad) << width;
    EXPECT_EQ(record.DIBWidth, width);
    EXPECT_EQ(record.DIBHeight, -2);
    EXPECT_EQ(record.JPGHeight, 2);
    EXPECT_EQ(record.DIBBytes, dib.DIBSectionBitsPtr());
    EXPECT_EQ(record.jquality, 100);
  }
  dib::cDIBSection tall;
  EXPECT_EQ(oleaut::ErrorOf([&] { tall.Create(1, INT_MIN); }), 6);
  ijl::JPEG_CORE_PROPERTIES record{};
  EXPECT_EQ(oleaut::ErrorOf([&] { DescribeDib(tall, "x.jpg", record); }), 6)
      << "a height whose negation passes the 32-bit range";
}

TEST_F(JpegFile, ABottomUpSectionDecodesUprightInFlatBlocks) {
  dib::cDIBSection dib;
  PaintBlocks(dib);
  WriteJpegFile(dib, Path("blocks.jpg"));
  const std::string jpeg = Read(Path("blocks.jpg"));
  ASSERT_GT(jpeg.size(), 4u);

  tjhandle decoder = tjInitDecompress();
  int width = 0, height = 0, sampling = 0, colorspace = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(jpeg.data()));
  ASSERT_EQ(tjDecompressHeader3(decoder, bytes, jpeg.size(), &width, &height, &sampling, &colorspace), 0);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 16);
  EXPECT_EQ(sampling, TJSAMP_444);
  std::vector<unsigned char> rgb(16 * 16 * 3);
  ASSERT_EQ(tjDecompress2(decoder, bytes, jpeg.size(), rgb.data(), 16, 0, 16, TJPF_RGB, 0), 0);
  tjDestroy(decoder);

  const int expected[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int block = 0; block < 4; ++block)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const int px = (block % 2) * 8 + x, py = (block / 2) * 8 + y;
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(rgb[(py * 16 + px) * 3 + c], expected[block][c], 4)
              << "block " << block << " pixel " << x << "," << y;
      }
}

// A file with content is replaced by a new one once that is complete; an
// empty file, such as a delivery's temporary file, is written in place.
TEST_F(JpegFile, AReplacedFileKeepsItsPermissionBitsAndTimes) {
  for (const bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "empty" : "with content");
    const std::string path = Path("picture.jpg");
    Write(path, empty ? "" : "old");
    ::chmod(path.c_str(), 0640);
    const timespec times[2] = {{981173106, 123456700}, {981259506, 700000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    dib::cDIBSection dib;
    PaintBlocks(dib);
    WriteJpegFile(dib, path);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(Read(path).substr(0, 2), "\xFF\xD8") << "read after the times: reading sets them";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_atim.tv_sec, times[0].tv_sec);
    EXPECT_EQ(after.st_atim.tv_nsec, times[0].tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(after.st_ino == before.st_ino, empty) << "replaced, or written in place";
    EXPECT_EQ(Names(), std::vector<std::string>{"picture.jpg"}) << "no partial file is left";
  }
}

TEST_F(JpegFile, AFailedWriteLeavesTheOldFileAndNothingElse) {
  const std::string path = Path("picture.jpg");
  Write(path, "old");
  dib::cDIBSection empty;
  const auto error = ErrorOf(empty, path);
  EXPECT_EQ(error.Number(), 26001);
  EXPECT_EQ(error.Source(), "Kelvane.mIntelJPEGLibrary");
  EXPECT_EQ(error.Description(), "Failed to save to JPG " + std::to_string(ijl::IJL_INVALID_DIB));
  EXPECT_EQ(error.HelpFile(), "48");
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"picture.jpg"});
}

TEST_F(JpegFile, AReadOnlyFileIsNotReplaced) {
  const std::string path = Path("locked.jpg");
  Write(path, "old");
  ::chmod(path.c_str(), 0444);
  dib::cDIBSection dib;
  PaintBlocks(dib);
  EXPECT_EQ(ErrorOf(dib, path).Number(), 75);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"locked.jpg"});
}

TEST_F(JpegFile, AFolderThatCannotBeWrittenGivesTheLibraryErrorAndNoFile) {
  dib::cDIBSection dib;
  PaintBlocks(dib);
  const auto missing = ErrorOf(dib, Path("no/such/folder.jpg"));
  EXPECT_EQ(missing.Number(), 26001);
  EXPECT_EQ(missing.Description(), "Failed to save to JPG " + std::to_string(ijl::IJL_FILE_ERROR));
  EXPECT_EQ(ErrorOf(dib, "/proc/kelvane-test.jpg").Number(), 26001);
  EXPECT_FALSE(fs::exists("/proc/kelvane-test.jpg"));
  EXPECT_TRUE(Names().empty());
}

// The new file is made beside the target under a name of its own, not one
// derived from the target's: links planted at such names lead nowhere, and
// a target name of the greatest length the folder takes still has room.
TEST_F(JpegFile, TheNewFileIsMadeUnderANameOfItsOwn) {
  dib::cDIBSection dib;
  PaintBlocks(dib);
  const std::string victim = Path("victim");
  Write(victim, "victim");
  const std::string path = Path("picture.jpg");
  for (int n = 1; n <= 200; ++n)
    fs::create_symlink(victim, path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(n));
  WriteJpegFile(dib, path);
  WriteJpegFile(dib, path);
  EXPECT_EQ(Read(victim), "victim");
  EXPECT_EQ(Read(path).substr(0, 2), "\xFF\xD8");

  for (const std::size_t length : {250u, 251u, 253u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".jpg";
    EXPECT_EQ(ErrorOf(dib, Path(name)).Number(), 0) << length;
    EXPECT_EQ(Read(Path(name)).substr(0, 2), "\xFF\xD8") << length;
  }
  EXPECT_EQ(Names().size(), 1u + 1u + 200u + 4u) << "no partial file is left";
}

TEST_F(JpegFile, AnEmptyNameIsTheLibrarysErrorAndWritesNothing) {
  dib::cDIBSection dib;
  PaintBlocks(dib);
  const struct InFolder {
    fs::path saved = fs::current_path();
    explicit InFolder(const fs::path& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(saved); }
  } inFolder(folder);
  const auto error = ErrorOf(dib, "");
  EXPECT_EQ(error.Number(), 26001);
  EXPECT_EQ(error.Description(),
            "Failed to save to JPG " + std::to_string(ijl::IJL_INVALID_FILENAME));
  EXPECT_TRUE(Names().empty());
}

TEST_F(JpegFile, NamesAreTakenLiterally) {
  Write(Path("abc.jpg"), "other");
  dib::cDIBSection dib;
  PaintBlocks(dib);
  WriteJpegFile(dib, Path("a*.jpg"));
  WriteJpegFile(dib, Path("a?c.jpg"));
  EXPECT_EQ(Read(Path("abc.jpg")), "other");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a*.jpg", "a?c.jpg", "abc.jpg"}));
}

}  // namespace
}  // namespace kelvane::jpeg
