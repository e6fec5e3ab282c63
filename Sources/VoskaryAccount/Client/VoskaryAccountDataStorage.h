#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/Value.h"
#include "VoskaryAccount/Client/VoskaryError.h"
#include "VoskaryAccount/Client/VoskaryJSON.h"

namespace voskary {

// The small key-value store of byte strings in which the library keeps its persistent items
// (the session, the install identifier, the first-open flag). Read paths give absent rather
// than failing; deletes report nothing; only writes fail, with a VoskaryError.
class VoskaryAccountDataStorage {
 public:
  virtual ~VoskaryAccountDataStorage() = default;

  // Stores `data` under `key`, replacing any earlier value. Throws VoskaryError.
  virtual void setData(const platform::Bytes& data, std::string_view key) = 0;
  // The stored bytes, or absent when there is definitely no item. Throws VoskaryError when
  // the item could not be read (a locked keychain, an item that holds no bytes), for callers
  // that must not take a passing failure for a missing item.
  virtual std::optional<platform::Bytes> readData(std::string_view key) = 0;
  // Removes the item if there is one; never fails towards the caller.
  virtual void deleteData(std::string_view key) = 0;

  // The stored bytes, or absent when there is no item or it cannot be read.
  std::optional<platform::Bytes> getData(std::string_view key) {
    try {
      return readData(key);
    } catch (const VoskaryError&) {
      return std::nullopt;
    }
  }

  // Encodes with the library's encoder, then stores; an encoding failure propagates and
  // writes nothing.
  template <class T>
  void setJSON(const T& value, std::string_view key) {
    std::string text = VoskaryJSON::encoder().encode(value);
    setData(platform::Bytes(text.begin(), text.end()), key);
  }

  // The stored item decoded with the library's decoder; absent when there is none, it cannot
  // be read or it does not decode as a T.
  template <class T>
  std::optional<T> getJSON(std::string_view key) {
    auto data = getData(key);
    if (!data) return std::nullopt;
    try {
      return VoskaryJSON::decoder().decode<T>(std::span<const std::uint8_t>(*data));
    } catch (const platform::Error&) {
      return std::nullopt;
    }
  }
};

}  // namespace voskary
