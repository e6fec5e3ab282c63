#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "Platform/Foundation/Value.h"

namespace flagrig {

// Writes a minimal zip archive holding one file, stored without compression. The diagnostic
// report wraps its JSON in one; no compression library is needed, only a CRC-32.
struct ZipWriter {
  static constexpr std::uint64_t maxEntryNameLength = 0xFFFF;
  static constexpr std::uint64_t maxEntryDataLength = 0xFFFFFFFF;

  // The archive bytes. Throws ZipWriterError when the name (in UTF-8 bytes) or the data exceeds
  // what the format can record (the data must also leave the central directory's 32-bit offset
  // below 0xFFFFFFFF); there is no ZIP64 extension.
  static platform::Bytes makeArchive(std::string_view entryName,
                                     std::span<const std::uint8_t> entryData);

  // The reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320), as zip records it.
  static std::uint32_t crc32(std::span<const std::uint8_t> data);

  // The 256-entry lookup table of `crc32`, built once.
  static const std::array<std::uint32_t, 256>& table();
};

}  // namespace flagrig
