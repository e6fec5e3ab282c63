#include "Platform/Linux/FileDefaultsStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Platform/Foundation/Hex.h"

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
    case Value::Kind::null: return json{{"null", nullptr}};
    case Value::Kind::boolean: return json{{"bool", *v.asBool()}};
    case Value::Kind::integer: return json{{"int", *v.asInt()}};
    case Value::Kind::unsignedInteger: return json{{"uint", *v.asUInt()}};
    case Value::Kind::real: return json{{"double", *v.asDouble()}};
    case Value::Kind::string: return json{{"string", *v.asString()}};
    case Value::Kind::bytes: return json{{"data", Hex::encode(*v.asBytes())}};
    case Value::Kind::date: return json{{"date", v.asDate()->secondsSince1970}};
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

Value decode(const json& j) {
  if (!j.is_object() || j.size() != 1) throw std::runtime_error("value is not a one-member object");
  auto first = j.begin();
  const std::string kind = first.key();
  const json& v = first.value();
  if (kind == "null") return Value();
  if (kind == "bool") return Value(v.get<bool>());
  if (kind == "int") return Value(v.get<std::int64_t>());
  if (kind == "uint") return Value(v.get<std::uint64_t>());
  if (kind == "double") return Value(v.get<double>());
  if (kind == "string") return Value(v.get<std::string>());
  if (kind == "data") return Value(fromHex(v.get<std::string>()));
  if (kind == "date") return Value(Date{v.get<double>()});
  if (kind == "array") {
    Value::Array a;
    for (const auto& e : v) a.push_back(decode(e));
    return Value(std::move(a));
  }
  if (kind == "dict") {
    Value::Dictionary d;
    for (auto it = v.begin(); it != v.end(); ++it) d.emplace(it.key(), decode(it.value()));
    return Value(std::move(d));
  }
  throw std::runtime_error("unknown value kind " + kind);
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

}  // namespace

FileDefaultsStore::FileDefaultsStore(std::filesystem::path file) : file_(std::move(file)) {}

Value::Dictionary FileDefaultsStore::load() {
  std::lock_guard lock(mutex_);
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec) && !ec) return {};
  std::string problem;
  try {
    std::ifstream in(file_, std::ios::binary);
    if (!in) throw std::runtime_error(std::strerror(errno));
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw std::runtime_error("read failed");
    json root = json::parse(buffer.str());
    if (!root.is_object()) throw std::runtime_error("top level is not an object");
    Value::Dictionary values;
    for (auto it = root.begin(); it != root.end(); ++it) values.emplace(it.key(), decode(it.value()));
    return values;
  } catch (const std::exception& e) {
    problem = e.what();
  }
  auto aside = file_;
  aside += ".corrupt-" + std::to_string(std::time(nullptr));
  std::filesystem::rename(file_, aside, ec);
  if (ec) {
    saveDisabled_ = true;
    std::fprintf(stderr, "flagrig: preferences file %s is unreadable (%s) and could not be moved aside (%s); "
                 "preferences will not be saved this run\n", file_.c_str(), problem.c_str(), ec.message().c_str());
  } else {
    std::fprintf(stderr, "flagrig: preferences file %s is unreadable (%s); kept it as %s and started afresh\n",
                 file_.c_str(), problem.c_str(), aside.c_str());
  }
  return {};
}

bool FileDefaultsStore::save(const Value::Dictionary& values) {
  std::lock_guard lock(mutex_);
  if (saveDisabled_) return false;
  json root = json::object();
  for (const auto& [key, v] : values) root[key] = encode(v);
  std::string text = root.dump(2) + "\n";

  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  auto temporary = file_;
  temporary += ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || std::rename(temporary.c_str(), file_.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::filesystem::path defaultDefaultsFile() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = "/tmp";
  }
  return base / "flagrig" / "defaults.json";
}

}  // namespace platform::linuxbackend
