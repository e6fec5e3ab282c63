#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Flagrig/Diagnostics/DiagnosticLogBuffer.h"
#include "Support/SimTest.h"
#include "Support/TemporaryDirectory.h"

namespace flagrig {

// Reaches the log's lock, so tests can hold it as a crashing thread might.
struct DiagnosticLogBufferTestAccess {
  static std::mutex& lock(DiagnosticLogBuffer& log) { return log.lock_; }
};

// A simulated machine whose log folder is a fresh temporary one.
class DiagnosticsTest : public platform::testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim().files->setLogsDirectory(folder.path());
    std::filesystem::create_directories(logFile().parent_path());
  }

  std::filesystem::path logFile() const { return folder.path() / "Flagrig" / "flagrig.log"; }

  static std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  platform::testing::TemporaryDirectory folder;
};

}  // namespace flagrig
