#include "Flagrig/Shell/Constants.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "Flagrig/Analytics/AccountServiceEndpoints.h"
#include "Flagrig/Shell/BrandMark.h"
#include "Flagrig/Shell/ServiceAddresses.h"
#include "Support/SimTest.h"
#include "Support/TemporaryDirectory.h"

namespace flagrig {
namespace {

using platform::Value;

class ConstantsTests : public platform::testing::SimTest {
 protected:
  platform::UserDefaults& defaults() { return *sim().environment->defaults; }
};

TEST_F(ConstantsTests, AppVersionIsTheShortVersionStringWhenItIsAString) {
  EXPECT_EQ(Constants::appVersion(), "1.0.0");
  const std::pair<Value::Dictionary, std::string> cases[] = {
      {{{"CFBundleShortVersionString", "2.4.1"}}, "2.4.1"},
      {{{"CFBundleShortVersionString", ""}}, ""},
      {{{"CFBundleShortVersionString", 2}}, "unknown"},
      {{{"CFBundleVersion", "7"}}, "unknown"},
  };
  for (const auto& [info, expected] : cases) {
    sim().bundle->setInfoDictionary(Value(info));
    EXPECT_EQ(Constants::appVersion(), expected);
  }
}

TEST_F(ConstantsTests, TheDeviceIdIsMadeOnceAndKept) {
  const std::regex form("^dev_[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$");
  auto id = Constants::deviceId();
  EXPECT_TRUE(std::regex_match(id, form)) << id;
  EXPECT_EQ(id.size(), 40u);
  EXPECT_EQ(Constants::deviceId(), id);
  EXPECT_EQ(defaults().stringForKey("flagrig.deviceId"), id);

  // Kept as stored, whatever it looks like; only an empty one is replaced.
  defaults().set("flagrig.deviceId", Value("dev_custom"));
  EXPECT_EQ(Constants::deviceId(), "dev_custom");
  defaults().set("flagrig.deviceId", Value(""));
  auto replaced = Constants::deviceId();
  EXPECT_TRUE(std::regex_match(replaced, form)) << replaced;
  EXPECT_NE(replaced, id);
  EXPECT_EQ(defaults().stringForKey("flagrig.deviceId"), replaced);
}

TEST_F(ConstantsTests, EightFirstCallersAtOnceGetOneDeviceId) {
  for (int round = 0; round < 20; ++round) {
    defaults().removeObject("flagrig.deviceId");
    std::vector<std::string> ids(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&ids, i] { ids[i] = Constants::deviceId(); });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 1u);
    EXPECT_EQ(defaults().stringForKey("flagrig.deviceId"), ids[0]);
  }
}

TEST_F(ConstantsTests, ServiceAddressesKeepTheirPaths) {
  EXPECT_EQ(Constants::Identity::privacyURL().path(), "/privacy/flagrig");
  EXPECT_EQ(Constants::Identity::termsURL().path(), "/terms/flagrig");
  EXPECT_EQ(Constants::SignupConsent::consentsURL().path(), "/api/account/consents");
  EXPECT_EQ(Constants::SignupConsent::marketingCaptureURL().path(), "/api/v1/contacts/capture");
  const auto& compiled = ServiceAddresses::compiledIn();
  EXPECT_EQ(Constants::SignupConsent::consentsURL().host(), compiled.accountService.host());
  EXPECT_EQ(Constants::Identity::privacyURL().host(), compiled.website.host());
}

TEST_F(ConstantsTests, JoiningKeepsTheBasePathWithOneSlash) {
  struct Case {
    const char* base;
    std::string_view path;
    const char* joined;
  };
  const Case cases[] = {
      {"https://a.test", "/capture/", "https://a.test/capture/"},
      {"https://a.test/", "/capture/", "https://a.test/capture/"},
      {"https://a.test/ph//", "/capture/", "https://a.test/ph/capture/"},
      {"http://127.0.0.1:8080/svc?x=1#f", "/api/app-events",
       "http://127.0.0.1:8080/svc/api/app-events"},
      {"https://a.test", "api/geo", "https://a.test/api/geo"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ServiceAddresses::join(platform::URL(c.base), c.path).absoluteString(), c.joined);
  }
}

TEST_F(ConstantsTests, AccountServiceEndpointsFollowTheActiveBase) {
  auto addresses = ServiceAddresses::compiledIn();
  EXPECT_EQ(AccountServiceEndpoints::baseURL(), addresses.accountService);
  addresses.accountService = platform::URL("http://127.0.0.1:4711/base");
  ServiceAddresses::setActiveForTesting(addresses);
  EXPECT_EQ(AccountServiceEndpoints::diagnosticsURL().absoluteString(),
            "http://127.0.0.1:4711/base/diagnostics");
  EXPECT_EQ(AccountServiceEndpoints::appEventsURL().absoluteString(),
            "http://127.0.0.1:4711/base/api/app-events");
  EXPECT_EQ(AccountServiceEndpoints::errorEventsURL().absoluteString(),
            "http://127.0.0.1:4711/base/api/error-events");
  EXPECT_EQ(AccountServiceEndpoints::geoURL().absoluteString(),
            "http://127.0.0.1:4711/base/api/geo");
}

class BrandMarkTests : public platform::testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim().bundle->setResourcePath(resources.path());
  }
  void writePNG(const std::filesystem::path& relative, std::uint32_t width, std::uint32_t height) {
    auto path = resources.path() / relative;
    std::filesystem::create_directories(path.parent_path());
    platform::Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                        0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (auto v : {width, height}) {
      for (int shift = 24; shift >= 0; shift -= 8) png.push_back(std::uint8_t(v >> shift));
    }
    png.resize(40, 0);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  }
  void writeText(const std::filesystem::path& relative) {
    auto path = resources.path() / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "not a png";
  }

  platform::testing::TemporaryDirectory resources;
};

TEST_F(BrandMarkTests, NamesAreTriedInOrderInTheAssetFolderThenAtTheTop) {
  // A broken first choice is passed over; the third name at the top is found.
  writeText("BrandAssets/FlagrigLogo@2x.png");
  writePNG("FlagrigLogo.png", 30, 30);
  auto logo = BrandMark::nsImage();
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->name(), (resources.path() / "FlagrigLogo.png").string());

  // Loaded once: later files change nothing in this process.
  writePNG("BrandAssets/FlagrigLogo@2x.png", 60, 60);
  EXPECT_EQ(BrandMark::nsImage(), logo);
}

TEST_F(BrandMarkTests, TheAssetFolderWinsOverTheTopForOneName) {
  writePNG("FlagrigLogo@3x.png", 90, 90);
  writePNG("BrandAssets/FlagrigLogo@3x.png", 91, 91);
  ASSERT_TRUE(BrandMark::nsImage());
  EXPECT_EQ(BrandMark::nsImage()->pixelSize().width, 91);
}

TEST_F(BrandMarkTests, TheViewShowsTheLogoKeepingItsAspect) {
  writePNG("FlagrigLogo@2x.png", 128, 64);
  auto view = BrandMark::view(48, platform::Color::systemBlue());
  EXPECT_EQ(view->frame(), platform::Rect({0, 0}, {48, 48}));
  EXPECT_EQ(view->image(), BrandMark::nsImage());
  EXPECT_EQ(view->imageScaling(), platform::ImageScaling::proportionallyUpOrDown);
  EXPECT_FALSE(view->contentTintColor());
}

TEST_F(BrandMarkTests, WithoutArtworkTheViewDrawsTheBoldSymbolInTheAccent) {
  EXPECT_FALSE(BrandMark::nsImage());
  auto accent = platform::Color::sRGB(0.851, 0.467, 0.024);
  auto view = BrandMark::view(64, accent);
  EXPECT_EQ(view->frame(), platform::Rect({0, 0}, {64, 64}));
  ASSERT_TRUE(view->image());
  EXPECT_EQ(view->image()->kind(), platform::Image::Kind::symbol);
  EXPECT_EQ(view->image()->name(), "tag.fill");
  EXPECT_NEAR(view->image()->size().width, 30, 0.1);
  EXPECT_EQ(view->contentTintColor(), accent);
  EXPECT_EQ(BrandMark::symbolFont(64).weight(), platform::FontWeight::bold);
  EXPECT_NEAR(BrandMark::symbolFont(64).pointSize(), 30.08, 1e-9);

  // A failed load is not retried.
  writePNG("FlagrigLogo.png", 30, 30);
  EXPECT_FALSE(BrandMark::nsImage());
}

}  // namespace
}  // namespace flagrig
