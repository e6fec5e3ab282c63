#include "Platform/Foundation/JSONReader.h"

#include "Platform/Foundation/DecodingError.h"
#include "Platform/Foundation/JSONDecoder.h"

namespace platform {

bool JSONReader::contains(std::string_view key) const {
  return child(key) != nullptr;
}

const JSON* JSONReader::child(std::string_view key) const {
  expect(value_->is_object(), "Object");
  auto it = value_->find(std::string(key));
  return it == value_->end() ? nullptr : &*it;
}

JSONReader JSONReader::childReader(const JSON& value, CodingKey key) const {
  auto path = path_;
  path.push_back(std::move(key));
  return JSONReader(value, std::move(path), *decoder_);
}

JSONReader JSONReader::operator[](std::string_view key) const {
  const JSON* value = child(key);
  if (!value) {
    auto path = path_;
    path.push_back(CodingKey::key(key));
    throw DecodingError(DecodingError::Kind::keyNotFound, std::move(path),
                        "No value associated with key \"" + std::string(key) + "\".");
  }
  return childReader(*value, CodingKey::key(key));
}

std::vector<JSONReader> JSONReader::elements() const {
  expect(value_->is_array(), "Array");
  std::vector<JSONReader> out;
  out.reserve(value_->size());
  for (std::size_t i = 0; i < value_->size(); ++i) {
    out.push_back(childReader((*value_)[i], CodingKey::index(i)));
  }
  return out;
}

std::vector<std::string> JSONReader::keys() const {
  expect(value_->is_object(), "Object");
  std::vector<std::string> out;
  out.reserve(value_->size());
  for (const auto& item : value_->items()) out.push_back(item.key());
  return out;
}

Date JSONReader::decodeDate() const {
  return decoder_->decodeDate(*this);
}

void JSONReader::fail(std::string debugDescription) const {
  throw DecodingError(DecodingError::Kind::dataCorrupted, path_, std::move(debugDescription));
}

void JSONReader::expect(bool matches, std::string_view expected) const {
  if (matches) return;
  if (value_->is_null()) {
    throw DecodingError(DecodingError::Kind::valueNotFound, path_,
                        "Expected " + std::string(expected) + " value but found null instead.");
  }
  throw DecodingError(DecodingError::Kind::typeMismatch, path_,
                      "Expected to decode " + std::string(expected) + " but found " +
                          value_->type_name() + " instead.");
}

}  // namespace platform
