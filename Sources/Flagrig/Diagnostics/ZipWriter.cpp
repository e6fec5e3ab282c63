#include "Flagrig/Diagnostics/ZipWriter.h"

#include "Flagrig/Diagnostics/ZipWriterError.h"

namespace flagrig {

namespace {

constexpr std::uint32_t localHeaderSignature = 0x04034B50;
constexpr std::uint32_t centralHeaderSignature = 0x02014B50;
constexpr std::uint32_t endRecordSignature = 0x06054B50;
constexpr std::uint16_t versionNeeded = 20;
constexpr std::uint16_t versionMadeBy = 0x0314;  // Unix, version 2.0
constexpr std::uint32_t localHeaderSize = 30;
constexpr std::uint32_t centralHeaderSize = 46;

class LittleEndianWriter {
 public:
  explicit LittleEndianWriter(platform::Bytes& out) : out_(out) {}
  void u16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }

  // The run of fields the local and the central header share, from "version needed" to the
  // extra field's length: stored, no flags, no time or date, no extra field.
  void entryFields(std::uint32_t checksum, std::uint32_t dataLength, std::uint16_t nameLength) {
    u16(versionNeeded);
    u16(0);  // flags
    u16(0);  // stored
    u16(0);  // time
    u16(0);  // date
    u32(checksum);
    u32(dataLength);  // compressed
    u32(dataLength);  // uncompressed
    u16(nameLength);
    u16(0);  // extra field
  }

 private:
  platform::Bytes& out_;
};

}  // namespace

const std::array<std::uint32_t, 256>& ZipWriter::table() {
  static const auto built = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return built;
}

std::uint32_t ZipWriter::crc32(std::span<const std::uint8_t> data) {
  const auto& t = table();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : data) crc = t[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

platform::Bytes ZipWriter::makeArchive(std::string_view entryName,
                                       std::span<const std::uint8_t> entryData) {
  if (entryName.size() > maxEntryNameLength)
    throw ZipWriterError(ZipWriterError::Kind::entryNameTooLong, entryName.size());
  // The central directory's offset comes after the data and is a 32-bit field too, and
  // 0xFFFFFFFF there would tell readers to look for a ZIP64 record that is not there.
  const std::uint64_t centralOffset64 = localHeaderSize + entryName.size() + entryData.size();
  if (entryData.size() > maxEntryDataLength || centralOffset64 >= 0xFFFFFFFFu)
    throw ZipWriterError(ZipWriterError::Kind::entryDataTooLarge, entryData.size());

  const auto nameLength = static_cast<std::uint16_t>(entryName.size());
  const auto dataLength = static_cast<std::uint32_t>(entryData.size());
  const std::uint32_t checksum = crc32(entryData);
  const std::span<const std::uint8_t> name(reinterpret_cast<const std::uint8_t*>(entryName.data()),
                                           entryName.size());

  platform::Bytes out;
  out.reserve(localHeaderSize + centralHeaderSize + 22 + 2 * std::size_t{nameLength} +
              entryData.size());
  LittleEndianWriter w(out);

  // Local file header, name, data.
  w.u32(localHeaderSignature);
  w.entryFields(checksum, dataLength, nameLength);
  w.bytes(name);
  w.bytes(entryData);

  // Central directory header and name.
  const auto centralOffset = static_cast<std::uint32_t>(centralOffset64);
  w.u32(centralHeaderSignature);
  w.u16(versionMadeBy);
  w.entryFields(checksum, dataLength, nameLength);
  w.u16(0);  // comment
  w.u16(0);  // disk number start
  w.u16(0);  // internal attributes
  w.u32(0);  // external attributes
  w.u32(0);  // offset of the local header
  w.bytes(name);

  // End of central directory record.
  w.u32(endRecordSignature);
  w.u16(0);  // this disk
  w.u16(0);  // disk of the central directory
  w.u16(1);
  w.u16(1);
  w.u32(centralHeaderSize + nameLength);
  w.u32(centralOffset);
  w.u16(0);  // comment
  return out;
}

}  // namespace flagrig
