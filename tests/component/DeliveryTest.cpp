#include "component/Delivery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "component/Image.h"
#include "platform/asp/Response.h"
#include "platform/complus/ObjectContext.h"
#include "platform/picture/Decoders.h"
#include "support/Automation.h"
#include "surface/Form1.h"

namespace kelvane::component {
namespace {

namespace fs = std::filesystem;
using oleaut::ErrorOf;

// Runs the test in a folder of its own, as the working directory where
// deliveries put their temporary files.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& name)
      : previous_(fs::current_path()),
        folder_(fs::temp_directory_path() / ("kelvane-" + name + "-" + std::to_string(::getpid()))) {
    fs::create_directories(folder_);
    fs::current_path(folder_);
  }
  ~WorkingFolder() {
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }
  std::size_t Files() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

 private:
  fs::path previous_;
  fs::path folder_;
};

// An image activated in a context whose response is kept in memory.
struct Delivery {
  Delivery() : response(std::make_shared<asp::MemoryResponse>()), context(std::make_shared<complus::ObjectContext>()) {
    context->SetItem("Response", Variant(oleaut::ObjectRef(response)));
    const complus::ContextScope scope(context);
    image.Activate();
  }
  std::shared_ptr<asp::MemoryResponse> response;
  std::shared_ptr<complus::ObjectContext> context;
  Image image;
};

gdi::COLORREF PixelOf(const picture::Decoded& picture, int x, int y) {
  const std::uint8_t* p = picture.pixels->Row(y) + x * 4;
  return gdi::RGB(p[2], p[1], p[0]);
}

TEST(TemporaryFileName, IsTheDateTheTimeAndTheNumberAndIsKnownBack) {
  std::tm last{};
  last.tm_year = 126, last.tm_mon = 11, last.tm_mday = 31;
  last.tm_hour = 23, last.tm_min = 59, last.tm_sec = 59;
  EXPECT_EQ(TemporaryFileName(last, 20), "31122026235959-20.tmp");
  std::tm first{};
  first.tm_year = 127, first.tm_mon = 0, first.tm_mday = 1, first.tm_sec = 5;
  EXPECT_EQ(TemporaryFileName(first, 1), "01012027000005-1.tmp");

  const std::pair<const char*, bool> names[] = {
      {"31122026235959-20.tmp", true},  {"01012027000005-100021.tmp", true},
      {"01012027000005-2147483647.tmp", true},
      {"01012027000005-.tmp", false},   {"0101202700000-1.tmp", false},
      {"010120270000055-1.tmp", false}, {"01012027000005-1.tmp.bak", false},
      {"0101202700000x-1.tmp", false},  {"01012027000005-1x.tmp", false},
      {"01012027000005-12345678901.tmp", false}, {"kelvane.tmp", false}, {"", false},
  };
  for (const auto& [name, made] : names) EXPECT_EQ(IsTemporaryFileName(name), made) << name;
}

TEST(SendImage, ChoosesBmpOrJpegByTheImageTypeAndSendsTheWholeFile) {
  const WorkingFolder folder("send");
  const struct {
    const char* type;
    const char* contentType;
    std::uint8_t first;
  } cases[] = {{"bmp", "image/bmp", 'B'}, {"Bmp", "image/bmp", 'B'}, {"BMP", "image/bmp", 'B'},
               {"", "image/jpg", 0xFF},   {"jpg", "image/jpg", 0xFF}, {"JPEG", "image/jpg", 0xFF},
               {"png", "image/jpg", 0xFF}, {"gif", "image/jpg", 0xFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    Delivery delivery;
    delivery.image.put_ImageType(c.type);
    delivery.image.SendImage();
    const auto& body = delivery.response->Body();
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body[0], c.first);
    EXPECT_EQ(delivery.response->ContentType(), c.contentType);
    EXPECT_TRUE(delivery.response->Ended());
    EXPECT_EQ(delivery.response->Buffer(), VariantBool::True);
    EXPECT_EQ(delivery.image.get_ImageType(), c.type) << "the object never changes it";
    EXPECT_EQ(folder.Files(), 0u) << "the temporary file is gone";
  }
}

TEST(SendImage, AFreshThreadDeliversTheBackColourAtTheDesignSize) {
  const WorkingFolder folder("fresh");
  std::thread([] {
    Delivery delivery;
    delivery.image.put_ImageType("BMP");
    delivery.image.SendImage();
    const auto& body = delivery.response->Body();
    const auto picture = picture::DecodeBmp(body);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixels->Width(), 298);
    EXPECT_EQ(picture->pixels->Height(), 298);
    EXPECT_EQ(body.size(), 54u + 896u * 298u) << "24 bits, rows of 896 bytes";
    for (auto [x, y] : {std::pair{0, 0}, {297, 297}, {150, 20}})
      EXPECT_EQ(PixelOf(*picture, x, y), 0xFFFFFFu);
  }).join();
}

TEST(SendImage, KeepsWhatThePageWroteBeforeAndDrawingAfterwardsStillLands) {
  const WorkingFolder folder("after");
  Delivery delivery;
  delivery.response->BinaryWrite(Variant::ByteArray({'<', 'p', '>'}, 1));
  delivery.image.put_ImageType("bmp");
  delivery.image.put_PlotWidth(20);
  delivery.image.put_PlotHeight(Integer{10});
  delivery.image.PlotPixel(0, 0);
  delivery.image.SendImage();
  const auto& body = delivery.response->Body();
  ASSERT_GT(body.size(), 3u);
  EXPECT_EQ(std::string(body.begin(), body.begin() + 5), "<p>BM");

  Delivery again;
  again.image.put_ImageType("bmp");
  again.image.put_PlotWidth(20);
  again.image.put_PlotHeight(Integer{10});
  again.image.put_PenColor(Long{0x0000FF});
  again.image.PlotLine(0, 5, 19, 5);
  again.image.SendImage();
  const auto picture = picture::DecodeBmp(again.response->Body());
  ASSERT_TRUE(picture);
  EXPECT_EQ(PixelOf(*picture, 10, 5), 0x0000FFu);
  EXPECT_EQ(PixelOf(*picture, 0, 0), 0x000000u) << "the earlier drawing is still there";
}

TEST(SendImage, PassesOverNamesThatExistAndLeavesThoseFilesAlone) {
  const WorkingFolder folder("taken");
  // Every name of this second and the next two is taken already.
  std::vector<std::string> taken;
  const std::time_t now = std::time(nullptr);
  for (std::time_t second = now; second < now + 3; ++second) {
    std::tm local{};
    localtime_r(&second, &local);
    for (Long n = 1; n <= 20; ++n) {
      taken.push_back(TemporaryFileName(local, n));
      std::ofstream(taken.back()) << "keep";
    }
  }
  Delivery delivery;
  delivery.image.put_ImageType("bmp");
  delivery.image.SendImage();
  EXPECT_EQ(delivery.response->Body()[0], 'B');
  for (const std::string& name : taken) {
    std::ifstream in(name);
    std::string text;
    in >> text;
    ASSERT_EQ(text, "keep") << name;
  }
  EXPECT_EQ(folder.Files(), taken.size()) << "its own file is gone";
}

TEST(SendImage, FailsWithoutAResponseAndLeavesNoFile) {
  const WorkingFolder folder("noresponse");
  Image image;
  EXPECT_EQ(ErrorOf([&] { image.SendImage(); }), 91);
  Delivery delivery;
  delivery.image.Deactivate();
  EXPECT_EQ(ErrorOf([&] { delivery.image.SendImage(); }), 91);
  EXPECT_EQ(folder.Files(), 0u);
}

TEST(SendImage, AnUnwritableWorkingFolderGivesAFileErrorAndNothingIsSent) {
  const fs::path previous = fs::current_path();
  fs::current_path("/proc");
  Delivery delivery;
  EXPECT_EQ(ErrorOf([&] { delivery.image.SendImage(); }), 75);
  fs::current_path(previous);
  EXPECT_TRUE(delivery.response->Body().empty());
}

TEST(SendImage, ConcurrentDeliveriesEachGetTheirOwnPicture) {
  const WorkingFolder folder("threads");
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, &wrong] {
      const auto color = static_cast<Long>(gdi::RGB(static_cast<std::uint8_t>(30 * t), 0, 255));
      for (int i = 0; i < 50; ++i) {
        Delivery delivery;
        delivery.image.put_ImageType(i % 2 ? "bmp" : "jpg");
        delivery.image.put_PlotWidth(16);
        delivery.image.put_PlotHeight(Integer{16});
        delivery.image.put_PenColor(color);
        delivery.image.PlotSolidBox(0, 0, 15, 15);
        delivery.image.SendImage();
        const auto& body = delivery.response->Body();
        const auto picture = i % 2 ? picture::DecodeBmp(body) : picture::DecodeJpeg(body);
        const gdi::COLORREF got = picture ? PixelOf(*picture, 8, 8) : 0xFFFFFFFF;
        const auto near = [](int a, int b) { return std::abs(a - b) <= 3; };
        if (!picture || !near(gdi::GetRValue(got), 30 * t) || !near(gdi::GetBValue(got), 255)) ++wrong;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(folder.Files(), 0u);
}

}  // namespace
}  // namespace kelvane::component
