#include "Platform/Foundation/UserDefaults.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Foundation/UserDefaultsError.h"

namespace platform {

Value::Dictionary MemoryDefaultsStore::load() {
  std::lock_guard lock(mutex_);
  return values_;
}

bool MemoryDefaultsStore::save(const Value::Dictionary& values) {
  std::lock_guard lock(mutex_);
  if (refusesWrites_) return false;
  values_ = values;
  return true;
}

void MemoryDefaultsStore::setRefusesWrites(bool refuses) {
  std::lock_guard lock(mutex_);
  refusesWrites_ = refuses;
}

Value::Dictionary MemoryDefaultsStore::saved() const {
  std::lock_guard lock(mutex_);
  return values_;
}

namespace {

// The leading number of a text, as the platform reads a string preference as a number:
// blanks, an optional sign, then the longest decimal number. Always with a point as the
// decimal separator, whatever the process locale says.
std::optional<double> parseNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  text.remove_prefix(i);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
    // from_chars reads no sign of its own after ours.
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) return std::nullopt;
  }
  double d = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), d);
  // Out of a double's range reads as no number, like any other text that is not one.
  if (error != std::errc()) return std::nullopt;
  return negative ? -d : d;
}

// Why a value cannot be stored, or nothing when it can. Iterative, so that a hostile nesting
// cannot exhaust the stack before it is refused.
std::optional<UserDefaultsError::Kind> unstorable(const Value& root) {
  using Kind = UserDefaultsError::Kind;
  std::vector<std::pair<const Value*, std::size_t>> pending{{&root, 0}};
  while (!pending.empty()) {
    auto [value, depth] = pending.back();
    pending.pop_back();
    switch (value->kind()) {
      case Value::Kind::real:
        if (!std::isfinite(*value->asDouble())) return Kind::nonFiniteNumber;
        break;
      case Value::Kind::date:
        if (!std::isfinite(value->asDate()->secondsSince1970)) return Kind::nonFiniteNumber;
        break;
      case Value::Kind::string:
        if (!UnicodeText::isValidUTF8(*value->asString())) return Kind::invalidText;
        break;
      case Value::Kind::array:
        if (depth + 1 > UserDefaults::maxDepth) return Kind::nestedTooDeeply;
        for (const auto& element : *value->asArray()) pending.emplace_back(&element, depth + 1);
        break;
      case Value::Kind::dictionary:
        if (depth + 1 > UserDefaults::maxDepth) return Kind::nestedTooDeeply;
        for (const auto& [key, element] : *value->asDictionary()) {
          if (!UnicodeText::isValidUTF8(key)) return Kind::invalidText;
          pending.emplace_back(&element, depth + 1);
        }
        break;
      default:
        break;
    }
  }
  return std::nullopt;
}

std::optional<double> numeric(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::boolean:
      return *v.asBool() ? 1.0 : 0.0;
    case Value::Kind::integer:
      return static_cast<double>(*v.asInt());
    case Value::Kind::unsignedInteger:
      return static_cast<double>(*v.asUInt());
    case Value::Kind::real:
      return *v.asDouble();
    case Value::Kind::string:
      return parseNumber(*v.asString());
    default:
      return std::nullopt;
  }
}

std::string lowercase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

UserDefaults::UserDefaults(std::shared_ptr<DefaultsStore> store,
                           std::shared_ptr<NotificationCenter> center)
    : store_(std::move(store)), center_(std::move(center)), values_(store_->load()) {}

std::optional<Value> UserDefaults::object(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

const Value::Dictionary UserDefaults::snapshot() const {
  std::lock_guard lock(mutex_);
  return values_;
}

bool UserDefaults::boolForKey(std::string_view key) const {
  auto v = object(key);
  if (!v) return false;
  if (auto s = v->asString()) {
    auto text = lowercase(*s);
    if (text == "yes" || text == "true") return true;
    if (text == "no" || text == "false") return false;
  }
  auto n = numeric(*v);
  return n && *n != 0;
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
  auto v = object(key);
  if (!v) return 0;
  if (auto i = v->asInt()) return *i;
  if (auto u = v->asUInt()) return static_cast<std::int64_t>(*u);
  auto n = numeric(*v);
  if (!n || !std::isfinite(*n)) return 0;
  if (*n >= 9223372036854775807.0) return INT64_MAX;
  if (*n <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<std::int64_t>(*n);
}

double UserDefaults::doubleForKey(std::string_view key) const {
  auto v = object(key);
  if (!v) return 0;
  return numeric(*v).value_or(0.0);
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  auto v = object(key);
  if (!v) return std::nullopt;
  if (auto s = v->asString()) return *s;
  switch (v->kind()) {
    case Value::Kind::integer: {
      char buffer[24];
      auto r = std::to_chars(buffer, buffer + sizeof buffer, *v->asInt());
      return std::string(buffer, r.ptr);
    }
    case Value::Kind::unsignedInteger: {
      char buffer[24];
      auto r = std::to_chars(buffer, buffer + sizeof buffer, *v->asUInt());
      return std::string(buffer, r.ptr);
    }
    case Value::Kind::real: {
      char buffer[32];
      auto r = std::to_chars(buffer, buffer + sizeof buffer, *v->asDouble());
      return std::string(buffer, r.ptr);
    }
    default:
      return std::nullopt;
  }
}

std::optional<Bytes> UserDefaults::dataForKey(std::string_view key) const {
  auto v = object(key);
  if (!v) return std::nullopt;
  if (auto b = v->asBytes()) return *b;
  return std::nullopt;
}

void UserDefaults::set(std::string_view key, Value value) {
  set({{key, std::move(value)}});
}

void UserDefaults::set(std::initializer_list<std::pair<std::string_view, Value>> values) {
  // Checked before anything changes: a value the store cannot write must not live in memory
  // only, where this run would read what the next run cannot.
  for (const auto& [key, value] : values) {
    std::optional<UserDefaultsError::Kind> refusal;
    if (!UnicodeText::isValidUTF8(key)) {
      refusal = UserDefaultsError::Kind::invalidText;
    } else {
      refusal = unstorable(value);
    }
    if (refusal) throw UserDefaultsError(*refusal, UnicodeText::repairedUTF8(key));
  }
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : values) values_.insert_or_assign(std::string(key), value);
  }
  persist();
  for (const auto& entry : values) changed(entry.first);
}

void UserDefaults::removeObject(std::string_view key) {
  {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return;
    values_.erase(it);
  }
  persist();
  changed(key);
}

bool UserDefaults::synchronize() {
  return persist();
}

bool UserDefaults::persist() {
  // The snapshot is taken under the save lock, so saves land in the order of the changes.
  std::lock_guard saving(saveMutex_);
  return store_->save(snapshot());
}

UserDefaults::ObserverId UserDefaults::observe(std::string key,
                                               std::function<void(std::string_view)> handler) {
  std::lock_guard lock(mutex_);
  ObserverId id = nextObserver_++;
  observers_.emplace(
      id, std::make_pair(std::move(key), std::make_shared<std::function<void(std::string_view)>>(
                                             std::move(handler))));
  return id;
}

void UserDefaults::removeObserver(ObserverId id) {
  std::lock_guard lock(mutex_);
  observers_.erase(id);
}

void UserDefaults::changed(std::string_view key) {
  std::vector<std::shared_ptr<std::function<void(std::string_view)>>> handlers;
  {
    std::lock_guard lock(mutex_);
    for (auto& [id, observer] : observers_) {
      if (observer.first == key) handlers.push_back(observer.second);
    }
  }
  for (auto& h : handlers) (*h)(key);
  if (center_) center_->post(std::string(didChangeNotification), this);
}

}  // namespace platform
