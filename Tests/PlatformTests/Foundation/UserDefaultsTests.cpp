#include "Platform/Foundation/UserDefaults.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <thread>
#include <vector>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Foundation/UserDefaultsError.h"
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
      {Value(true), true, 1, 1.0},
      {Value(false), false, 0, 0.0},
      {Value(7), true, 7, 7.0},
      {Value(0), false, 0, 0.0},
      {Value(3u), true, 3, 3.0},
      {Value(2.9), true, 2, 2.9},
      {Value("12"), true, 12, 12.0},
      {Value("YES"), true, 0, 0.0},
      {Value("abc"), false, 0, 0.0},
      {Value(Bytes{1}), false, 0, 0.0},
      {Value(Value::Array{}), false, 0, 0.0},
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

// A save killed mid-write leaves its temporary file; the next start clears those of processes
// that are gone, and nothing else.
TEST_F(FileDefaultsTest, TemporaryFilesOfEndedProcessesAreCleared) {
  std::filesystem::create_directories(file_.parent_path());
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ::waitpid(ended, nullptr, 0);
  const std::string base = file_.string();
  const std::string abandoned = base + ".tmp-" + std::to_string(ended) + "-3";
  const std::string keptFiles[] = {
      base + ".tmp-" + std::to_string(::getpid()) + "-9",  // a save in progress
      base + ".tmp-x-1",                                   // not one of ours
      base + ".corrupt-1700000000",
  };
  for (const auto& path : keptFiles) std::ofstream(path) << "{}";
  std::ofstream(abandoned) << "{\"half\":";
  UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  for (const auto& path : keptFiles) EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

TEST_F(FileDefaultsTest, CorruptFileIsKeptAsideAndTheStoreStartsEmpty) {
  for (const char* content :
       {"{not json", "[1,2]", "{\"k\": {\"martian\": 1}}", "{\"k\": {\"data\": \"zz\"}}"}) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(file_.parent_path());
    std::ofstream(file_) << content;

    UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
    EXPECT_FALSE(d.object("k")) << content;
    std::vector<std::filesystem::path> aside;
    for (auto& entry : std::filesystem::directory_iterator(file_.parent_path())) {
      if (entry.path().filename().string().starts_with("defaults.json.corrupt-"))
        aside.push_back(entry.path());
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

// What the file store cannot write is refused before memory changes, so that this run never
// reads a value the next run will not find.
TEST_F(FileDefaultsTest, AValueTheFileCannotHoldIsRefusedAndChangesNothing) {
  Value deep = Value::Array{};
  for (std::size_t i = 1; i < UserDefaults::maxDepth; ++i) deep = Value::Array{deep};
  struct Case {
    std::string key;
    Value value;
    UserDefaultsError::Kind kind;
  };
  const Case cases[] = {
      {"k", std::numeric_limits<double>::quiet_NaN(), UserDefaultsError::Kind::nonFiniteNumber},
      {"k", -std::numeric_limits<double>::infinity(), UserDefaultsError::Kind::nonFiniteNumber},
      {"k", Date{std::numeric_limits<double>::infinity()},
       UserDefaultsError::Kind::nonFiniteNumber},
      {"k", Value::Array{1, Value::Dictionary{{"x", std::numeric_limits<double>::signaling_NaN()}}},
       UserDefaultsError::Kind::nonFiniteNumber},
      {"k", "caf\xE9", UserDefaultsError::Kind::invalidText},
      {"k", Value::Dictionary{{"\xFF", 1}}, UserDefaultsError::Kind::invalidText},
      {"k\xC3", 1, UserDefaultsError::Kind::invalidText},
      {"k", Value::Array{deep}, UserDefaultsError::Kind::nestedTooDeeply},
  };
  UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
  d.set("k", "before");
  int changes = 0;
  d.observe("k", [&](std::string_view) { ++changes; });
  for (const auto& c : cases) {
    try {
      d.set(c.key, c.value);
      ADD_FAILURE() << "stored " << c.key;
    } catch (const UserDefaultsError& e) {
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_TRUE(UnicodeText::isValidUTF8(e.description()));
    }
    // Written together with a value that could be stored, it takes that one down with it.
    EXPECT_THROW(d.set({{"k", Value("after")}, {c.key, c.value}}), UserDefaultsError);
    EXPECT_EQ(d.stringForKey("k"), "before");
    EXPECT_EQ(d.snapshot().size(), 1u);
    EXPECT_EQ(UserDefaults(std::make_shared<FileDefaultsStore>(file_)).snapshot(), d.snapshot());
  }
  EXPECT_EQ(changes, 0);

  // The deepest value that may be stored comes back from the file whole.
  d.set("deep", deep);
  EXPECT_EQ(UserDefaults(std::make_shared<FileDefaultsStore>(file_)).object("deep"), deep);
}

std::vector<std::filesystem::path> corruptCopies(const std::filesystem::path& file) {
  std::vector<std::filesystem::path> found;
  for (auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
    if (entry.path().filename().string().starts_with(file.filename().string() + ".corrupt-"))
      found.push_back(entry.path());
  }
  return found;
}

TEST_F(FileDefaultsTest, AFileNestedTooDeeplyIsCorruptNotACrash) {
  std::filesystem::create_directories(file_.parent_path());
  {
    std::ofstream out(file_);
    out << "{\"k\": ";
    for (int i = 0; i < 50'000; ++i) out << "{\"array\": [";
    for (int i = 0; i < 50'000; ++i) out << "]}";
    out << "}";
  }
  UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
  EXPECT_TRUE(d.snapshot().empty());
  EXPECT_EQ(corruptCopies(file_).size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(file_));
}

// One value the store cannot read (written by an older build, or edited by hand) costs only
// itself: the others load, and a copy of the file keeps the original.
TEST_F(FileDefaultsTest, AnUnreadableValueIsDroppedAlone) {
  std::filesystem::create_directories(file_.parent_path());
  const std::string content = R"({
    "nan": {"double": null},
    "below-int64": {"int": -9227332036854775808},
    "above-int64": {"int": 9223372036854775808},
    "negative-uint": {"uint": -1},
    "fraction-int": {"int": 1.5},
    "text-bool": {"bool": "yes"},
    "bad-date": {"date": "soon"},
    "nested-bad": {"array": [{"int": 1}, {"double": null}]},
    "keep-int": {"int": -9223372036854775808},
    "keep-uint": {"uint": 18446744073709551615},
    "keep-dict": {"dict": {"a": {"string": "b"}}},
    "keep-double": {"double": 2.5}
  })";
  std::ofstream(file_) << content;
  UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
  EXPECT_EQ(d.snapshot(), (Value::Dictionary{{"keep-int", Value(std::int64_t{INT64_MIN})},
                                             {"keep-uint", Value(std::uint64_t{UINT64_MAX})},
                                             {"keep-dict", Value::Dictionary{{"a", "b"}}},
                                             {"keep-double", 2.5}}));
  auto copies = corruptCopies(file_);
  ASSERT_EQ(copies.size(), 1u);
  std::ifstream in(copies[0]);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), content);
}

// The temporary file of the atomic write is created anew; a link planted where the old build
// put it is not followed, so the link's target (a file of someone else's choosing) is untouched.
TEST_F(FileDefaultsTest, APlantedLinkIsNeverFollowed) {
  std::filesystem::create_directories(file_.parent_path());
  const auto victim = dir_ / "victim";
  std::ofstream(victim) << "precious";
  std::filesystem::create_symlink(victim, file_.string() + ".tmp");
  UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
  d.set("k", 1);
  EXPECT_TRUE(d.synchronize());
  std::ifstream in(victim);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "precious");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file_)));
  EXPECT_EQ((std::filesystem::status(file_).permissions() & std::filesystem::perms::all),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(UserDefaults(std::make_shared<FileDefaultsStore>(file_)).integerForKey("k"), 1);
}

// What may sit at the file's path besides a file: a FIFO would block the read for good (with the
// single-instance lock held, every later launch would say "already running"), a link would be
// read through. Each is moved aside as a corrupt file is, and the store starts empty.
TEST_F(FileDefaultsTest, AnythingButARegularFileIsMovedAsideWithoutWaiting) {
  const auto victim = dir_ / "victim.json";
  struct Case {
    const char* name;
    std::function<void()> plant;
  };
  for (const Case& c : std::vector<Case>{
           {"fifo", [&] { ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0); }},
           {"link", [&] { std::filesystem::create_symlink(victim, file_); }},
           {"directory", [&] { std::filesystem::create_directory(file_); }},
       }) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(file_.parent_path());
    std::ofstream(victim) << R"({"k":{"int":7}})";
    c.plant();
    auto loaded = std::async(std::launch::async, [&] {
      return UserDefaults(std::make_shared<FileDefaultsStore>(file_)).object("k").has_value();
    });
    if (loaded.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << c.name << ": loading blocked";
      int writer = ::open(file_.c_str(), O_WRONLY | O_NONBLOCK);
      loaded.wait();
      ::close(writer);
      continue;
    }
    EXPECT_FALSE(loaded.get()) << c.name;
    std::size_t aside = 0;
    for (auto& entry : std::filesystem::directory_iterator(file_.parent_path()))
      aside += entry.path().filename().string().starts_with("defaults.json.corrupt-");
    EXPECT_EQ(aside, 1u) << c.name;
    UserDefaults d(std::make_shared<FileDefaultsStore>(file_));
    d.set("k", 1);
    EXPECT_TRUE(d.synchronize()) << c.name;
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file_)));
    std::ifstream in(victim);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), R"({"k":{"int":7}})");
  }
}

TEST(UserDefaultsTest, NumberTextReadsTheSameInEveryLocale) {
  UserDefaults d(std::make_shared<MemoryDefaultsStore>());
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  // A comma-decimal locale, when the machine has one; the C locale otherwise.
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
    if (std::setlocale(LC_NUMERIC, name)) break;
  }
  d.set("delay", "1.5");
  d.set("padded", " \t-2.25e1xyz");
  d.set("real", 0.5);
  EXPECT_EQ(d.doubleForKey("delay"), 1.5);
  EXPECT_EQ(d.doubleForKey("padded"), -22.5);
  EXPECT_EQ(d.stringForKey("real"), "0.5");
  d.set("comma", "1,5");
  EXPECT_EQ(d.doubleForKey("comma"), 1.0);
  d.set("signs", "+-1");
  EXPECT_EQ(d.doubleForKey("signs"), 0.0);
  std::setlocale(LC_NUMERIC, saved.c_str());
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
