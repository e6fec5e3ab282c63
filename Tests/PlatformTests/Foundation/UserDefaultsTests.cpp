#include "Platform/Foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Linux/FileDefaultsStore.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

using linuxbackend::FileDefaultsStore;

TEST(UserDefaultsTest, TypedReadersConvertAsThePlatformDoes) {
  UserDefaults d(std::make_shared<MemoryDefaultsStore>());
  struct Case {
    Value stored;
    bool asBool;
    std::int64_t asInt;
    double asDouble;
  };
  const Case cases[] = {
      {Value(true), true, 1, 1.0},       {Value(false), false, 0, 0.0},  {Value(7), true, 7, 7.0},
      {Value(0), false, 0, 0.0},         {Value(3u), true, 3, 3.0},      {Value(2.9), true, 2, 2.9},
      {Value("12"), true, 12, 12.0},     {Value("YES"), true, 0, 0.0},   {Value("abc"), false, 0, 0.0},
      {Value(Bytes{1}), false, 0, 0.0},  {Value(Value::Array{}), false, 0, 0.0},
  };
  for (const auto& c : cases) {
    d.set("k", c.stored);
    EXPECT_EQ(d.boolForKey("k"), c.asBool) << static_cast<int>(c.stored.kind());
    EXPECT_EQ(d.integerForKey("k"), c.asInt) << static_cast<int>(c.stored.kind());
    EXPECT_DOUBLE_EQ(d.doubleForKey("k"), c.asDouble) << static_cast<int>(c.stored.kind());
  }
  EXPECT_FALSE(d.boolForKey("absent"));
  EXPECT_EQ(d.integerForKey("absent"), 0);
  EXPECT_FALSE(d.object("absent"));
  d.set("n", 5);
  EXPECT_EQ(d.stringForKey("n"), "5");
}

TEST(UserDefaultsTest, ChangeCallbacksArePerKeyAndRemovable) {
  auto center = std::make_shared<NotificationCenter>();
  UserDefaults d(std::make_shared<MemoryDefaultsStore>(), center);
  int shapeChanges = 0, notifications = 0;
  auto id = d.observe("flagrig.shape", [&](std::string_view) { ++shapeChanges; });
  center->addObserver(std::string(UserDefaults::didChangeNotification), &d, nullptr,
                      [&](const Notification&) { ++notifications; });
  d.set("flagrig.shape", 1);
  d.set("flagrig.font", 2);
  d.removeObject("flagrig.shape");
  d.removeObject("flagrig.shape");  // absent: no change
  d.removeObserver(id);
  d.set("flagrig.shape", 2);
  EXPECT_EQ(shapeChanges, 2);
  EXPECT_EQ(notifications, 4);
}

class FileDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("flagrig-defaults-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    file_ = dir_ / "flagrig" / "defaults.json";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_, file_;
};

TEST_F(FileDefaultsTest, EveryKindSurvivesARoundTripThroughTheFile) {
  Value::Dictionary nested{{"list", Value::Array{1, 2u, "x", nullptr}}, {"flag", true}};
  {
    UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
    d.set("u", std::uint64_t{18446744073709551615ull});
    d.set("i", std::int64_t{-5});
    d.set("small-unsigned", 50u);
    d.set("b", false);
    d.set("d", 0.1);
    d.set("s", "tëxt \"quoted\"");
    d.set("bytes", Bytes{0, 255, 16});
    d.set("date", Date{1.5e9 + 0.25});
    d.set("nested", nested);
  }
  UserDefaults again(std::make_shared<FileDefaultsStore>(file_));
  EXPECT_EQ(again.object("u")->asUInt(), 18446744073709551615ull);
  EXPECT_EQ(again.object("small-unsigned")->kind(), Value::Kind::unsignedInteger);
  EXPECT_EQ(again.object("i")->asInt(), -5);
  EXPECT_EQ(again.object("b")->asBool(), false);
  EXPECT_EQ(again.object("d")->asDouble(), 0.1);
  EXPECT_EQ(*again.object("s")->asString(), "tëxt \"quoted\"");
  EXPECT_EQ(*again.object("bytes")->asBytes(), (Bytes{0, 255, 16}));
  EXPECT_EQ(again.object("date")->asDate(), Date{1.5e9 + 0.25});
  EXPECT_EQ(*again.object("nested"), Value(nested));
  EXPECT_FALSE(std::filesystem::exists(file_.string() + ".tmp"));
}

TEST_F(FileDefaultsTest, CorruptFileIsKeptAsideAndTheStoreStartsEmpty) {
  for (const char* content : {"{not json", "[1,2]", "{\"k\": {\"martian\": 1}}", "{\"k\": {\"data\": \"zz\"}}"}) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(file_.parent_path());
    std::ofstream(file_) << content;

    UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
    EXPECT_FALSE(d.object("k")) << content;
    std::vector<std::filesystem::path> aside;
    for (auto& entry : std::filesystem::directory_iterator(file_.parent_path())) {
      if (entry.path().filename().string().starts_with("defaults.json.corrupt-")) aside.push_back(entry.path());
    }
    ASSERT_EQ(aside.size(), 1u) << content;
    std::ifstream in(aside[0]);
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, content);

    d.set("k", 1);
    EXPECT_EQ(UserDefaults(std::make_shared<FileDefaultsStore>(file_)).integerForKey("k"), 1);
  }
}

TEST_F(FileDefaultsTest, ConcurrentReadersAndWritersLeaveAConsistentFile) {
  auto d = std::make_shared<UserDefaults>(std::make_shared<FileDefaultsStore>(file_));
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([d, t] {
      for (int i = 0; i < 40; ++i) {
        d->set("key" + std::to_string(t), i);
        (void)d->integerForKey("key" + std::to_string((t + 1) % 6));
        (void)d->snapshot();
      }
    });
  }
  for (auto& t : threads) t.join();
  UserDefaults again(std::make_shared<FileDefaultsStore>(file_));
  for (int t = 0; t < 6; ++t) EXPECT_EQ(again.integerForKey("key" + std::to_string(t)), 39);
}

TEST(MemoryDefaultsTest, RefusedWriteIsReportedBySynchronize) {
  auto store = std::make_shared<MemoryDefaultsStore>();
  UserDefaults d(store);
  d.set("a", 1);
  store->setRefusesWrites(true);
  d.set("a", 2);
  EXPECT_EQ(d.integerForKey("a"), 2);
  EXPECT_FALSE(d.synchronize());
  EXPECT_EQ(store->saved().at("a"), Value(1));
}

}  // namespace
}  // namespace platform
