#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Value.h"

namespace platform {

class NotificationCenter;

// Where the preferences live between runs.
class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;
  virtual Value::Dictionary load() = 0;
  // False when the values could not be written.
  virtual bool save(const Value::Dictionary& values) = 0;
};

// In memory: the simulated backend. A test can refuse writes.
class MemoryDefaultsStore final : public DefaultsStore {
 public:
  Value::Dictionary load() override;
  bool save(const Value::Dictionary& values) override;

  void setRefusesWrites(bool refuses);
  Value::Dictionary saved() const;

 private:
  mutable std::mutex mutex_;
  Value::Dictionary values_;
  bool refusesWrites_ = false;
};

// The user's preferences: typed reads with the original platform's conversions, writes that
// reach the store at once, and a change callback per key. Safe from any thread.
class UserDefaults {
 public:
  // Posted on the notification centre (object: these defaults) after every change.
  static constexpr std::string_view didChangeNotification = "NSUserDefaultsDidChangeNotification";

  // The deepest nesting of arrays and dictionaries a value may have; the same limit as the
  // JSON reader's, so that whatever is stored can be read back.
  static constexpr std::size_t maxDepth = 512;

  explicit UserDefaults(std::shared_ptr<DefaultsStore> store,
                        std::shared_ptr<NotificationCenter> center = nullptr);

  std::optional<Value> object(std::string_view key) const;
  // Absent or unconvertible reads as false / 0 / 0.0. Bools, integers, doubles and number-like
  // strings convert into each other.
  bool boolForKey(std::string_view key) const;
  std::int64_t integerForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  // Strings, and numbers as their text (written and read the same in every locale).
  std::optional<std::string> stringForKey(std::string_view key) const;
  std::optional<Bytes> dataForKey(std::string_view key) const;
  const Value::Dictionary snapshot() const;

  // Throws `UserDefaultsError`, changing nothing, for a key or text that is not valid UTF-8, a
  // non-finite number or date, or a value nested deeper than `maxDepth`.
  void set(std::string_view key, Value value);
  // Several values in one write, for values that only mean something together: a process
  // ended between two writes would otherwise leave one of them stored without the other.
  // Refuses them all, changing nothing, when any one is refused.
  void set(std::initializer_list<std::pair<std::string_view, Value>> values);
  void removeObject(std::string_view key);
  // Writes everything to the store again; false when it refused.
  bool synchronize();

  using ObserverId = std::uint64_t;
  ObserverId observe(std::string key, std::function<void(std::string_view key)> changed);
  void removeObserver(ObserverId id);

 private:
  void changed(std::string_view key);
  bool persist();

  std::shared_ptr<DefaultsStore> store_;
  std::shared_ptr<NotificationCenter> center_;
  mutable std::mutex mutex_;
  std::mutex saveMutex_;
  Value::Dictionary values_;
  std::map<ObserverId,
           std::pair<std::string, std::shared_ptr<std::function<void(std::string_view)>>>>
      observers_;
  ObserverId nextObserver_ = 1;
};

}  // namespace platform
