#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ijl/Ijl.h"

namespace kelvane::ijl {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A fresh folder for one test, removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("kelvane-ijl-" + std::string(test->name()) + "-" +
                                         std::to_string(::getpid()));
    fs::remove_all(path_);
    fs::create_directory(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() { fs::remove_all(path_); }

  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A record that has been through ijlInit, freed when it goes.
struct Library {
  JPEG_CORE_PROPERTIES record{};
  Library() { EXPECT_EQ(ijlInit(&record), IJL_OK); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() { ijlFree(&record); }
};

// DIB rows of width blue-green-red pixels followed by pad bytes.
struct Dib {
  std::int32_t width;
  std::int32_t height;
  std::int32_t pad;
  Bytes bytes;

  Dib(std::int32_t w, std::int32_t h, std::int32_t p)
      : width(w), height(h), pad(p), bytes(static_cast<std::size_t>((3 * w + p) * h), 0xA5) {}
  std::uint8_t* Pixel(std::int32_t x, std::int32_t row) {
    return bytes.data() + row * (3 * width + pad) + 3 * x;
  }
};

// Points the record at the DIB; a bottom-up DIB is given a negative height.
void Describe(JPEG_CORE_PROPERTIES& record, const Dib& dib, bool bottomUp,
              const std::string& file) {
  record.DIBBytes = dib.bytes.data();
  record.DIBWidth = dib.width;
  record.DIBHeight = bottomUp ? -dib.height : dib.height;
  record.DIBPadBytes = dib.pad;
  record.JPGWidth = dib.width;
  record.JPGHeight = dib.height;
  record.JPGFile = file.c_str();
}

Bytes ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Decoded {
  int width = 0;
  int height = 0;
  int subsampling = -1;
  Bytes bgr;  // top-down rows without padding
};

Decoded Decode(const Bytes& jpeg) {
  const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
  Decoded out;
  int colorspace = 0;
  if (tjDecompressHeader3(decoder.get(), jpeg.data(), jpeg.size(), &out.width, &out.height,
                          &out.subsampling, &colorspace) != 0)
    return {};
  out.bgr.resize(static_cast<std::size_t>(3 * out.width * out.height));
  if (tjDecompress2(decoder.get(), jpeg.data(), jpeg.size(), out.bgr.data(), out.width, 0,
                    out.height, TJPF_BGR, 0) != 0)
    return {};
  return out;
}

// Six colours, blue-green-red, for the 8 x 8 blocks: three across, two down.
constexpr std::array<std::array<std::uint8_t, 3>, 6> kBlockColours{{
    {0, 0, 255}, {0, 200, 0}, {230, 40, 20}, {20, 220, 240}, {128, 128, 128}, {250, 250, 250}}};

const std::array<std::uint8_t, 3>& BlockColour(std::int32_t x, std::int32_t line) {
  return kBlockColours[static_cast<std::size_t>(line / 8 * 3 + x / 8)];
}

// A picture of flat 8 x 8 blocks, its top line stored last when bottom-up.
Dib BlockPicture(std::int32_t width, std::int32_t pad, bool bottomUp) {
  Dib dib(width, 16, pad);
  for (std::int32_t line = 0; line < dib.height; ++line)
    for (std::int32_t x = 0; x < width; ++x) {
      const std::int32_t row = bottomUp ? dib.height - 1 - line : line;
      std::ranges::copy(BlockColour(x, line), dib.Pixel(x, row));
    }
  return dib;
}

Dib NoisyPicture(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  Dib dib(width, height, 0);
  std::mt19937 random(seed);
  for (auto& byte : dib.bytes) byte = static_cast<std::uint8_t>(random());
  return dib;
}

bool Near(const std::uint8_t* pixel, const std::array<std::uint8_t, 3>& colour, int tolerance) {
  for (std::size_t c = 0; c < 3; ++c)
    if (std::abs(pixel[c] - colour[c]) > tolerance) return false;
  return true;
}

// Lowers the file size limit for a while, with the signal it raises ignored,
// so that writes past the limit fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
    handler_ = signal(SIGXFSZ, SIG_IGN);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t handler_;
};

TEST(Ijl, InitFillsTheDefaultsAndLeavesTheRest) {
  EXPECT_EQ(ijlInit(nullptr), IJL_INVALID_JPEG_PROPERTIES);
  JPEG_CORE_PROPERTIES record{};
  record.DIBWidth = 7;
  record.jquality = 20;
  ASSERT_EQ(ijlInit(&record), IJL_OK);
  EXPECT_NE(record.instance, nullptr);
  EXPECT_EQ(record.DIBChannels, 3);
  EXPECT_EQ(record.DIBColor, IJL_BGR);
  EXPECT_EQ(record.JPGChannels, 3);
  EXPECT_EQ(record.JPGColor, IJL_YCBCR);
  EXPECT_EQ(record.jquality, 75);
  EXPECT_EQ(record.DIBWidth, 7);
  EXPECT_EQ(record.DIBBytes, nullptr);
  EXPECT_EQ(record.JPGFile, nullptr);
  EXPECT_EQ(ijlInit(&record), IJL_OK) << "a second init releases the first instance";
  EXPECT_EQ(ijlFree(&record), IJL_OK);
  EXPECT_EQ(record.instance, nullptr);
  EXPECT_EQ(ijlFree(&record), IJL_OK) << "freed twice";
  EXPECT_EQ(ijlFree(nullptr), IJL_INVALID_JPEG_PROPERTIES);
}

TEST(Ijl, WriteWithoutInitIsRefused) {
  const TempFolder folder;
  const std::string file = folder.File("a.jpg");
  const Dib dib = BlockPicture(24, 0, true);
  JPEG_CORE_PROPERTIES record{};
  Describe(record, dib, true, file);
  record.DIBChannels = 3;
  record.DIBColor = IJL_BGR;
  record.jquality = 75;
  EXPECT_EQ(ijlWrite(&record, IJL_JFILE_WRITEWHOLEIMAGE), IJL_NOT_INITIALISED);
  EXPECT_EQ(ijlWrite(nullptr, IJL_JFILE_WRITEWHOLEIMAGE), IJL_INVALID_JPEG_PROPERTIES);
  EXPECT_FALSE(fs::exists(file));
}

TEST(Ijl, BlocksDecodeUprightFromBottomUpAndTopDownRows) {
  const TempFolder folder;
  for (const auto& [width, pad] : {std::pair{24, 0}, std::pair{24, 3}, std::pair{13, 1}}) {
    SCOPED_TRACE(testing::Message() << "width " << width << " pad " << pad);
    Decoded decoded[2];
    for (const bool bottomUp : {true, false}) {
      const Dib dib = BlockPicture(width, pad, bottomUp);
      const std::string file = folder.File((bottomUp ? "up-" : "down-") + std::to_string(width) +
                                           "-" + std::to_string(pad) + ".jpg");
      Library library;
      Describe(library.record, dib, bottomUp, file);
      library.record.jquality = 100;
      ASSERT_EQ(ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
      const Decoded& out = decoded[bottomUp] = Decode(ReadFile(file));
      ASSERT_EQ(out.width, width);
      ASSERT_EQ(out.height, 16);
      if (bottomUp) {
        const std::uint8_t* last = dib.bytes.data() + (dib.height - 1) * (3 * width + pad);
        EXPECT_TRUE(Near(out.bgr.data(), {last[0], last[1], last[2]}, 3)) << "top-left";
      }
      for (std::int32_t top = 0; top < 16; top += 8)
        for (std::int32_t left = 0; left < width; left += 8) {
          const std::int32_t x = (left + std::min(left + 8, width)) / 2;
          const std::int32_t line = top + 4;
          const std::uint8_t* pixel = out.bgr.data() + 3 * (line * width + x);
          EXPECT_TRUE(Near(pixel, BlockColour(x, line), 3))
              << "block at " << left << "," << top << " reads " << int{pixel[0]} << ","
              << int{pixel[1]} << "," << int{pixel[2]};
        }
    }
    EXPECT_EQ(decoded[0].bgr, decoded[1].bgr);
  }
}

TEST(Ijl, WritesBaselineJfifWithFullColourResolution) {
  const TempFolder folder;
  const std::string file = folder.File("picture.jpg");
  const Dib dib = BlockPicture(13, 1, true);
  Library library;
  Describe(library.record, dib, true, file);
  ASSERT_EQ(ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  const Bytes jpeg = ReadFile(file);
  ASSERT_GT(jpeg.size(), 20u);
  EXPECT_EQ(Bytes(jpeg.begin(), jpeg.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));
  EXPECT_EQ(std::string(jpeg.begin() + 6, jpeg.begin() + 11), std::string("JFIF", 5));
  EXPECT_EQ(Bytes(jpeg.end() - 2, jpeg.end()), (Bytes{0xFF, 0xD9}));

  // The segments before the scan name the frame type: C0 is baseline.
  std::vector<int> markers;
  for (std::size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;
       at += 2 + static_cast<std::size_t>(jpeg[at + 2] << 8 | jpeg[at + 3])) {
    markers.push_back(jpeg[at + 1]);
    if (jpeg[at + 1] == 0xDA) break;
  }
  EXPECT_NE(std::ranges::find(markers, 0xC0), markers.end());
  EXPECT_EQ(std::ranges::find(markers, 0xC2), markers.end());
  EXPECT_EQ(markers.back(), 0xDA);

  const Decoded out = Decode(jpeg);
  EXPECT_EQ(out.subsampling, TJSAMP_444);
  EXPECT_EQ(out.width, 13);
  EXPECT_EQ(out.height, 16);
}

TEST(Ijl, FileModeIsReadWriteLessTheUmask) {
  const TempFolder folder;
  const std::string file = folder.File("mode.jpg");
  const Dib dib = BlockPicture(8, 0, false);
  Library library;
  Describe(library.record, dib, false, file);
  const mode_t saved = ::umask(027);
  const IJLERR result = ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE);
  ::umask(saved);
  ASSERT_EQ(result, IJL_OK);
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(Ijl, QualityComesFromTheRecord) {
  const TempFolder folder;
  const Dib dib = NoisyPicture(64, 64, 42);
  std::uintmax_t sizes[2] = {};
  for (const int quality : {50, 100}) {
    const std::string file = folder.File(std::to_string(quality) + ".jpg");
    Library library;
    Describe(library.record, dib, true, file);
    library.record.jquality = quality;
    ASSERT_EQ(ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    sizes[quality == 100] = fs::file_size(file);
  }
  EXPECT_GT(sizes[1], sizes[0] + sizes[0] / 2);
}

TEST(Ijl, RefusesEachFaultWithItsOwnCodeAndLeavesNoFile) {
  using Record = JPEG_CORE_PROPERTIES;
  struct Case {
    IJLERR expected;
    const char* name;
    void (*change)(Record&);
    IJLIOTYPE io = IJL_JFILE_WRITEWHOLEIMAGE;
    const char* file = "picture.jpg";  // inside the test's folder unless absolute
  };
  constexpr auto keep = [](Record&) {};
  const Case cases[] = {
      {IJL_OK, "valid", keep},
      {IJL_OK, "quality 1", [](Record& r) { r.jquality = 1; }},
      {IJL_UNSUPPORTED_IOTYPE, "io type", keep, IJLIOTYPE{7}},
      {IJL_UNSUPPORTED_IOTYPE, "io type first", [](Record& r) { r.DIBBytes = nullptr; },
       IJLIOTYPE{0}},
      {IJL_INVALID_DIB, "no pixels", [](Record& r) { r.DIBBytes = nullptr; }},
      {IJL_INVALID_DIB, "width 0", [](Record& r) { r.DIBWidth = r.JPGWidth = 0; }},
      {IJL_INVALID_DIB, "width -8", [](Record& r) { r.DIBWidth = r.JPGWidth = -8; }},
      {IJL_INVALID_DIB, "height 0", [](Record& r) { r.DIBHeight = r.JPGHeight = 0; }},
      {IJL_INVALID_DIB, "JPG height -8", [](Record& r) { r.JPGHeight = r.DIBHeight; }},
      {IJL_INVALID_DIB, "lowest height", [](Record& r) { r.DIBHeight = r.JPGHeight = INT_MIN; }},
      {IJL_INVALID_DIB, "pad -1", [](Record& r) { r.DIBPadBytes = -1; }},
      {IJL_INVALID_DIB, "JPG width", [](Record& r) { r.JPGWidth = 9; }},
      {IJL_INVALID_DIB, "JPG height", [](Record& r) { r.JPGHeight = 9; }},
      {IJL_INVALID_DIB, "4 channels", [](Record& r) { r.DIBChannels = 4; }},
      {IJL_INVALID_DIB, "RGB", [](Record& r) { r.DIBColor = IJL_RGB; }},
      {IJL_INVALID_DIB, "pitch past int",
       [](Record& r) { r.DIBWidth = r.JPGWidth = INT_MAX / 3; r.DIBPadBytes = 2; }},
      {IJL_INVALID_DIB, "DIB first", [](Record& r) { r.DIBChannels = 1; r.jquality = 0; }},
      {IJL_INVALID_QUALITY, "quality 0", [](Record& r) { r.jquality = 0; }},
      {IJL_INVALID_QUALITY, "quality 101", [](Record& r) { r.jquality = 101; }},
      {IJL_INVALID_QUALITY, "quality first", [](Record& r) { r.jquality = -5; r.JPGFile = ""; }},
      {IJL_INVALID_FILENAME, "no name", [](Record& r) { r.JPGFile = nullptr; }},
      {IJL_INVALID_FILENAME, "empty name", [](Record& r) { r.JPGFile = ""; }},
      {IJL_ENCODE_ERROR, "too wide to encode",
       [](Record& r) { r.DIBWidth = r.JPGWidth = 70000; r.DIBHeight = r.JPGHeight = 1; }},
      {IJL_FILE_ERROR, "missing folder", keep, IJL_JFILE_WRITEWHOLEIMAGE, "missing/picture.jpg"},
      {IJL_FILE_ERROR, "under /proc", keep, IJL_JFILE_WRITEWHOLEIMAGE, "/proc/kelvane-ijl.jpg"},
  };
  const TempFolder folder;
  // Each case starts from a valid 8 x 8 bottom-up record over one buffer wide
  // enough for the widest case.
  const Dib dib = NoisyPicture(70000, 1, 1);
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const std::string file = (folder.path() / test.file).string();
    Library library;
    Describe(library.record, dib, true, file);
    library.record.DIBWidth = library.record.JPGWidth = 8;
    library.record.DIBHeight = -8;
    library.record.JPGHeight = 8;
    test.change(library.record);
    EXPECT_EQ(ijlWrite(&library.record, test.io), test.expected);
    EXPECT_EQ(fs::exists(file), test.expected == IJL_OK);
    fs::remove(file);
  }
}

TEST(Ijl, RemovesAFileItCreatedWhenTheWriteFails) {
  const TempFolder folder;
  const std::string file = folder.File("limited.jpg");
  const Dib dib = NoisyPicture(64, 64, 7);
  Library library;
  Describe(library.record, dib, true, file);
  IJLERR result;
  {
    const FileSizeLimit limit(100);
    result = ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE);
  }
  EXPECT_EQ(result, IJL_FILE_ERROR);
  EXPECT_FALSE(fs::exists(file));
}

// The file is made new: a name that is taken is refused and whatever holds
// it stays as it was, a symbolic link never followed.
TEST(Ijl, RefusesANameThatIsTakenAndLeavesWhatHoldsIt) {
  const TempFolder folder;
  const std::string victim = folder.File("victim");
  std::ofstream(victim) << "victim";
  std::ofstream(folder.File("old.jpg")) << "old";
  fs::create_symlink(victim, folder.File("link.jpg"));
  fs::create_symlink(folder.File("nothing"), folder.File("dangling.jpg"));
  fs::create_directory(folder.File("folder.jpg"));
  std::ofstream(folder.File("empty-victim")).flush();
  fs::create_symlink(folder.File("empty-victim"), folder.File("empty-link.jpg"));
  std::ofstream(folder.File("linked.jpg")).flush();
  fs::create_hard_link(folder.File("linked.jpg"), folder.File("other-name"));
  const Dib dib = NoisyPicture(64, 64, 7);
  for (const char* name :
       {"old.jpg", "link.jpg", "dangling.jpg", "folder.jpg", "empty-link.jpg", "linked.jpg"}) {
    SCOPED_TRACE(name);
    const std::string file = folder.File(name);
    Library library;
    Describe(library.record, dib, true, file);
    EXPECT_EQ(ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE), IJL_FILE_ERROR);
  }
  const Bytes old = ReadFile(folder.File("old.jpg"));
  EXPECT_EQ(std::string(old.begin(), old.end()), "old");
  const Bytes kept = ReadFile(victim);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "victim");
  EXPECT_TRUE(fs::is_symlink(folder.File("dangling.jpg")));
  EXPECT_FALSE(fs::exists(folder.File("nothing")));
  EXPECT_TRUE(fs::is_directory(folder.File("folder.jpg")));
  EXPECT_EQ(fs::file_size(folder.File("empty-victim")), 0u);
  EXPECT_EQ(fs::file_size(folder.File("other-name")), 0u);
}

TEST(Ijl, FillsAnEmptyFileInPlace) {
  const TempFolder folder;
  const std::string file = folder.File("empty.jpg");
  std::ofstream(file).flush();
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  const Dib dib = NoisyPicture(16, 8, 2);
  Library library;
  Describe(library.record, dib, true, file);
  ASSERT_EQ(ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, written once";
  const Bytes written = ReadFile(file);
  ASSERT_GE(written.size(), 2u);
  EXPECT_EQ(written[0], 0xFF);
  EXPECT_EQ(written[1], 0xD8);
}

TEST(Ijl, TwoThreadsWriteWithTwoRecordsAtOnce) {
  const TempFolder folder;
  std::array<IJLERR, 2> results{};
  std::array<Bytes, 2> written;
  {
    std::array<std::jthread, 2> threads;
    for (std::size_t t = 0; t < 2; ++t)
      threads[t] = std::jthread([&, t] {
        const Dib dib = NoisyPicture(static_cast<std::int32_t>(40 + t * 8), 32, 3);
        const std::string file = folder.File("thread" + std::to_string(t) + ".jpg");
        Library library;
        Describe(library.record, dib, t == 0, file);
        for (int round = 0; round < 20 && results[t] == IJL_OK; ++round) {
          fs::remove(file);
          results[t] = ijlWrite(&library.record, IJL_JFILE_WRITEWHOLEIMAGE);
        }
        written[t] = ReadFile(file);
      });
  }
  for (std::size_t t = 0; t < 2; ++t) {
    EXPECT_EQ(results[t], IJL_OK);
    EXPECT_EQ(Decode(written[t]).width, static_cast<int>(40 + t * 8));
  }
}

}  // namespace
}  // namespace kelvane::ijl
