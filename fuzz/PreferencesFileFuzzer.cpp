// Loads the input as the preferences file. Whatever loads must be storable again, and a file
// written from it must load back to the same values.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Linux/FileDefaultsStore.h"

namespace {

namespace fs = std::filesystem;

// A folder of this run's own below $TMPDIR, which tools/fuzz points at a scratch folder in
// memory (every save synchronises) and removes afterwards.
const fs::path& folder() {
  static const fs::path path =
      fs::temp_directory_path() / ("flagrig-preferences-fuzz-" + std::to_string(::getpid()));
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace platform;
  fs::remove_all(folder());
  fs::create_directories(folder());
  const fs::path file = folder() / "defaults.json";
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  auto store = std::make_shared<linuxbackend::FileDefaultsStore>(file);
  UserDefaults loaded(store);
  const auto values = loaded.snapshot();

  // Every value that loaded may be stored as it is.
  UserDefaults copy(std::make_shared<MemoryDefaultsStore>());
  for (const auto& [key, value] : values) copy.set(key, value);

  const fs::path again = folder() / "again.json";
  auto second = std::make_shared<linuxbackend::FileDefaultsStore>(again);
  FUZZ_CHECK(second->save(values));
  FUZZ_CHECK(linuxbackend::FileDefaultsStore(again).load() == values);
  return 0;
}
