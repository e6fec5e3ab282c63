#include <gtest/gtest.h>
#include <syslog.h>

#include "Platform/Foundation/SystemLogger.h"
#include "Platform/Linux/Syslog.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

class SystemLogTests : public testing::SimTest {};

TEST_F(SystemLogTests, ALoggerWritesOnlyTheTypesThatAreEnabled) {
  SystemLogger logger("dev.example.app", "diagnostics");
  logger.log(SystemLogType::info, "[auth] signed in");
  sim().systemLog->setEnabled(SystemLogType::debug, false);
  EXPECT_FALSE(logger.isEnabled(SystemLogType::debug));
  logger.log(SystemLogType::debug, "dropped");
  logger.log(SystemLogType::error, "[auth] failed");

  using Entry = sim::SimSystemLog::Entry;
  EXPECT_EQ(sim().systemLog->entries(),
            (std::vector<Entry>{
                {"dev.example.app", "diagnostics", SystemLogType::info, "[auth] signed in"},
                {"dev.example.app", "diagnostics", SystemLogType::error, "[auth] failed"}}));
}

TEST(SyslogTests, HonoursTheMinimumTypeAndTheProcessMask) {
  linuxbackend::Syslog log(SystemLogType::info);
  EXPECT_FALSE(log.isEnabled("s", "c", SystemLogType::debug));
  EXPECT_TRUE(log.isEnabled("s", "c", SystemLogType::info));
  EXPECT_TRUE(log.isEnabled("s", "c", SystemLogType::fault));

  int previous = setlogmask(LOG_UPTO(LOG_ERR));
  EXPECT_FALSE(log.isEnabled("s", "c", SystemLogType::defaultType));
  EXPECT_TRUE(log.isEnabled("s", "c", SystemLogType::error));
  setlogmask(previous);
  EXPECT_EQ(linuxbackend::Syslog::priority(SystemLogType::defaultType), LOG_NOTICE);
}

}  // namespace
}  // namespace platform
