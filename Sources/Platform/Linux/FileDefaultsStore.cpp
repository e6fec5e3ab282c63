#include "Platform/Linux/FileDefaultsStore.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "Platform/Foundation/Hex.h"
#include "Platform/Linux/XDGFileLocations.h"

namespace platform::linuxbackend {

namespace {

using nlohmann::json;

Bytes fromHex(const std::string& text) {
  if (text.size() % 2) throw std::runtime_error("odd hex length");
  Bytes out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = Hex::digitValue(text[i]), low = Hex::digitValue(text[i + 1]);
    if (high < 0 || low < 0) throw std::runtime_error("bad hex digit");
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return out;
}

json encode(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::null:
      return json{{"null", nullptr}};
    case Value::Kind::boolean:
      return json{{"bool", *v.asBool()}};
    case Value::Kind::integer:
      return json{{"int", *v.asInt()}};
    case Value::Kind::unsignedInteger:
      return json{{"uint", *v.asUInt()}};
    case Value::Kind::real:
      return json{{"double", *v.asDouble()}};
    case Value::Kind::string:
      return json{{"string", *v.asString()}};
    case Value::Kind::bytes:
      return json{{"data", Hex::encode(*v.asBytes())}};
    case Value::Kind::date:
      return json{{"date", v.asDate()->secondsSince1970}};
    case Value::Kind::array: {
      json a = json::array();
      for (const auto& e : *v.asArray()) a.push_back(encode(e));
      return json{{"array", a}};
    }
    case Value::Kind::dictionary: {
      json d = json::object();
      for (const auto& [k, e] : *v.asDictionary()) d[k] = encode(e);
      return json{{"dict", d}};
    }
  }
  return nullptr;
}

// Each value is read alone: one that cannot be read costs only its own key. The values are
// decoded with explicit stacks, not recursion, and the file's nesting was bounded when it was
// parsed, so no file can exhaust the stack.
std::int64_t readInt(const json& v) {
  if (v.is_number_unsigned()) {
    if (v.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
      throw std::runtime_error("integer out of range");
    return static_cast<std::int64_t>(v.get<std::uint64_t>());
  }
  // A number too large for 64 bits arrives as a float; converting that would be undefined.
  if (!v.is_number_integer()) throw std::runtime_error("not an integer");
  return v.get<std::int64_t>();
}

std::uint64_t readUInt(const json& v) {
  if (!v.is_number_unsigned()) throw std::runtime_error("not an unsigned integer");
  return v.get<std::uint64_t>();
}

double readFinite(const json& v) {
  if (!v.is_number()) throw std::runtime_error("not a number");
  double d = v.get<double>();
  if (!std::isfinite(d)) throw std::runtime_error("not a finite number");
  return d;
}

const std::string& readString(const json& v) {
  if (!v.is_string()) throw std::runtime_error("not a string");
  return v.get_ref<const std::string&>();
}

Value decode(const json& root) {
  // A container is decoded once all of its members are: `Frame` holds one being filled.
  struct Frame {
    const json* source;
    bool isArray;
    json::const_iterator next;
    Value::Array array;
    Value::Dictionary dictionary;
    std::string key;  // the member being decoded into a dictionary
  };
  std::vector<Frame> stack;
  std::optional<Value> finished;

  auto start = [&](const json& j) -> std::optional<Value> {
    if (!j.is_object() || j.size() != 1)
      throw std::runtime_error("value is not a one-member object");
    auto first = j.begin();
    const std::string& kind = first.key();
    const json& v = first.value();
    if (kind == "null") return Value();
    if (kind == "bool") {
      if (!v.is_boolean()) throw std::runtime_error("not a bool");
      return Value(v.get<bool>());
    }
    if (kind == "int") return Value(readInt(v));
    if (kind == "uint") return Value(readUInt(v));
    if (kind == "double") return Value(readFinite(v));
    if (kind == "string") return Value(readString(v));
    if (kind == "data") return Value(fromHex(readString(v)));
    if (kind == "date") return Value(Date{readFinite(v)});
    if (kind == "array" || kind == "dict") {
      const bool isArray = kind == "array";
      if (isArray ? !v.is_array() : !v.is_object()) throw std::runtime_error("not a container");
      stack.push_back(Frame{&v, isArray, v.begin(), {}, {}, {}});
      return std::nullopt;
    }
    throw std::runtime_error("unknown value kind " + kind);
  };

  finished = start(root);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (finished) {
      if (top.isArray) {
        top.array.push_back(std::move(*finished));
      } else {
        top.dictionary.insert_or_assign(std::move(top.key), std::move(*finished));
      }
      finished.reset();
    }
    if (top.next == top.source->end()) {
      finished = top.isArray ? Value(std::move(top.array)) : Value(std::move(top.dictionary));
      stack.pop_back();
      continue;
    }
    auto member = top.next++;
    if (!top.isArray) top.key = member.key();
    finished = start(member.value());
  }
  return std::move(*finished);
}

// The file's nesting bounds the values' nesting: each value sits inside its one-member kind
// object, so a value `UserDefaults::maxDepth` deep is twice that deep in the file, plus the top.
constexpr int maxFileDepth = 2 * static_cast<int>(UserDefaults::maxDepth) + 2;

json parseBounded(const std::string& text) {
  // The parser itself keeps no recursion; the callback refuses a nesting past the bound before
  // anything deeper is built.
  json::parser_callback_t bound = [](int depth, json::parse_event_t event, json&) {
    if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
        depth >= maxFileDepth)
      throw std::runtime_error("nested deeper than " + std::to_string(maxFileDepth) + " levels");
    return true;
  };
  return json::parse(text, bound);
}

bool writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// The file's bytes, nothing when there is none. Opened as the log file is: a link is not
// followed and nothing waits, so a FIFO or a device planted there cannot hang start-up (with
// the single-instance lock taken, every later launch would say "already running"). Anything
// but a regular file of a sane size throws, and is moved aside as a corrupt file is.
std::optional<std::string> readPreferencesFile(const std::filesystem::path& file) {
  constexpr off_t maximumSize = 16 << 20;
  int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    if (errno == ELOOP) throw std::runtime_error("it is a link");
    throw std::runtime_error(std::strerror(errno));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw std::runtime_error(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw std::runtime_error("not a regular file");
  if (st.st_size > maximumSize) throw std::runtime_error("larger than 16 MiB");
  std::string text;
  char buffer[65536];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error(std::strerror(errno));
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > static_cast<std::size_t>(maximumSize))
      throw std::runtime_error("larger than 16 MiB");
  }
  return text;
}

}  // namespace

FileDefaultsStore::FileDefaultsStore(std::filesystem::path file) : file_(std::move(file)) {}

namespace {

// The temporary files of saves that never finished: their process was killed mid-write (a
// logout's SIGKILL, a crash). Each would stay for good, one more at every such end. A file of a
// process still running may be a save in progress and stays.
void removeAbandonedTemporaries(const std::filesystem::path& file) {
  const std::string prefix = file.filename().string() + ".tmp-";
  std::error_code ec;
  for (std::filesystem::directory_iterator it(file.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix)) continue;
    std::string_view rest = std::string_view(name).substr(prefix.size());
    pid_t pid = 0;
    auto [next, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || pid <= 0 || next == rest.data() + rest.size() || *next != '-')
      continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    // A link is removed, never followed.
    ::unlink(it->path().c_str());
  }
}

}  // namespace

Value::Dictionary FileDefaultsStore::load() {
  std::lock_guard lock(mutex_);
  removeAbandonedTemporaries(file_);
  std::error_code ec;
  std::string problem;
  json root;
  try {
    auto text = readPreferencesFile(file_);
    if (!text) return {};
    root = parseBounded(*text);
    if (!root.is_object()) throw std::runtime_error("top level is not an object");
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (problem.empty()) {
    Value::Dictionary values;
    std::vector<std::string> dropped;
    for (auto it = root.begin(); it != root.end(); ++it) {
      try {
        values.emplace(it.key(), decode(it.value()));
      } catch (const std::exception& e) {
        dropped.push_back(it.key());
        std::fprintf(stderr,
                     "flagrig: preferences file %s: dropped the unreadable value of \"%s\" (%s)\n",
                     file_.c_str(), it.key().c_str(), e.what());
      }
    }
    // The next save leaves the dropped values out; a copy keeps them for the user.
    if (!dropped.empty()) {
      auto copy = file_;
      copy += ".corrupt-" + std::to_string(std::time(nullptr));
      std::filesystem::copy_file(file_, copy, std::filesystem::copy_options::skip_existing, ec);
    }
    return values;
  }
  auto aside = file_;
  aside += ".corrupt-" + std::to_string(std::time(nullptr));
  std::filesystem::rename(file_, aside, ec);
  if (ec) {
    saveDisabled_ = true;
    std::fprintf(
        stderr,
        "flagrig: preferences file %s is unreadable (%s) and could not be moved aside (%s); "
        "preferences will not be saved this run\n",
        file_.c_str(), problem.c_str(), ec.message().c_str());
  } else {
    std::fprintf(
        stderr,
        "flagrig: preferences file %s is unreadable (%s); kept it as %s and started afresh\n",
        file_.c_str(), problem.c_str(), aside.c_str());
  }
  return {};
}

bool FileDefaultsStore::save(const Value::Dictionary& values) {
  std::lock_guard lock(mutex_);
  if (saveDisabled_) return false;
  json root = json::object();
  for (const auto& [key, v] : values) root[key] = encode(v);
  std::string text;
  try {
    text = root.dump(2) + "\n";
  } catch (const json::exception&) {
    return false;  // text that is not UTF-8: `UserDefaults::set` refuses it before it gets here
  }

  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  // A name of our own, created here and now: O_EXCL never opens what someone placed (a link
  // to a file of theirs included), and a stale temporary file of a crashed run is skipped.
  static std::atomic<unsigned> serial{0};
  std::filesystem::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = file_;
    temporary += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || std::rename(temporary.c_str(), file_.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::optional<std::filesystem::path> defaultDefaultsFile() {
  auto base = XDGFileLocations::configHome(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  if (!base) return std::nullopt;
  return *base / "flagrig" / "defaults.json";
}

}  // namespace platform::linuxbackend
