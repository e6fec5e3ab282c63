#include "Flagrig/Diagnostics/ZipWriter.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Flagrig/Diagnostics/ZipWriterError.h"
#include "Support/TemporaryDirectory.h"

namespace flagrig {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::uint32_t u32At(const platform::Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
         std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}
std::uint16_t u16At(const platform::Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

// Runs a shell command and returns its exit status and what it printed.
std::pair<int, std::string> run(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, output};
  char buffer[512];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  return {pclose(pipe), output};
}

TEST(ZipWriterTest, Crc32MatchesTheStandardCheckValues) {
  const std::vector<std::pair<std::string, std::uint32_t>> cases = {
      {"", 0x00000000},
      {"a", 0xE8B7BE43},
      {"123456789", 0xCBF43926},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(ZipWriter::crc32(bytesOf(text)), expected) << '"' << text << '"';
}

TEST(ZipWriterTest, ArchiveLayoutRecordsSizesOffsetsAndChecksum) {
  const std::string data = R"({"entries":[]})";
  const auto d = data.size();
  const auto zip = ZipWriter::makeArchive("diagnostic.json", bytesOf(data));

  // 30 + 46 + 22 bytes of headers, the name twice and the data.
  ASSERT_EQ(zip.size(), 98 + 2 * 15 + d);
  const std::uint32_t crc = ZipWriter::crc32(bytesOf(data));
  // Local header.
  EXPECT_EQ(u32At(zip, 0), 0x04034B50u);
  EXPECT_EQ(u16At(zip, 4), 20);
  EXPECT_EQ(u16At(zip, 8), 0);  // stored
  EXPECT_EQ(u32At(zip, 14), crc);
  EXPECT_EQ(u32At(zip, 18), d);
  EXPECT_EQ(u32At(zip, 22), d);
  EXPECT_EQ(u16At(zip, 26), 15);
  EXPECT_EQ(std::string(zip.begin() + 30, zip.begin() + 45), "diagnostic.json");
  EXPECT_EQ(std::string(zip.begin() + 45, zip.begin() + 45 + d), data);
  // Central directory header.
  const std::size_t central = 45 + d;
  EXPECT_EQ(u32At(zip, central), 0x02014B50u);
  EXPECT_EQ(u16At(zip, central + 4), 0x0314);
  EXPECT_EQ(u32At(zip, central + 16), crc);
  EXPECT_EQ(u32At(zip, central + 42), 0u);
  // End record.
  const std::size_t end = central + 61;
  EXPECT_EQ(u32At(zip, end), 0x06054B50u);
  EXPECT_EQ(u16At(zip, end + 8), 1);
  EXPECT_EQ(u16At(zip, end + 10), 1);
  EXPECT_EQ(u32At(zip, end + 12), 61u);
  EXPECT_EQ(u32At(zip, end + 16), central);
  EXPECT_EQ(u16At(zip, end + 20), 0);
}

TEST(ZipWriterTest, StandardToolsReadTheArchiveAndAgreeOnItsChecksum) {
  if (run("command -v unzip").first != 0) GTEST_SKIP() << "unzip is not installed";
  platform::testing::TemporaryDirectory folder;

  std::string binary;
  for (int i = 0; i < 70'000; ++i) binary.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"json", R"({"logs":[{"msg":"hello"}]})"},
      {"binary", binary},
  };
  std::string files, expected;
  for (const auto& [label, data] : cases) {
    SCOPED_TRACE(label);
    const auto zip = ZipWriter::makeArchive("diagnostic.json", bytesOf(data));
    if (data.empty()) {
      EXPECT_EQ(zip.size(), 98u + 2 * 15);
    }
    const auto file = folder / (label + ".zip");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));

    const auto [status, output] = run("unzip -t '" + file.string() + "'");
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("testing: diagnostic.json"), std::string::npos) << output;
    EXPECT_NE(output.find("No errors detected"), std::string::npos) << output;

    const auto extracted = folder / (label + ".out");
    ASSERT_EQ(run("unzip -p '" + file.string() + "' diagnostic.json > '" + extracted.string() + "'")
                  .first,
              0);
    std::ifstream in(extracted, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), data);

    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", ZipWriter::crc32(bytesOf(data)));
    files += " '" + file.string() + "'";
    expected += "diagnostic.json " + std::to_string(data.size()) + " " + crc + "\n";
  }

  // A second, independent reader, started once for all archives.
  if (run("command -v python3").first != 0) return;
  const auto [status, output] =
      run("python3 -c 'import sys, zipfile\n"
          "for name in sys.argv[1:]:\n"
          "  z = zipfile.ZipFile(name); assert z.testzip() is None; i, = z.infolist()\n"
          "  print(i.filename, i.file_size, \"%08x\" % i.CRC)'" +
          files);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, expected);
}

TEST(ZipWriterTest, RefusesNamesAndDataThatTheFormatCannotRecord) {
  const std::string longest(65'535, 'n');
  EXPECT_EQ(ZipWriter::makeArchive(longest, {}).size(), 98u + 2 * 65'535);

  try {
    ZipWriter::makeArchive(longest + "n", {});
    FAIL() << "a 65,536-byte name was accepted";
  } catch (const ZipWriterError& e) {
    EXPECT_EQ(e, ZipWriterError(ZipWriterError::Kind::entryNameTooLong, 65'536));
  }

  // Reserved but never touched, so no memory is spent on it; refusing must not read the data.
  const std::size_t huge = std::size_t{1} << 32;
  void* region = mmap(nullptr, huge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  const auto* base = static_cast<const std::uint8_t*>(region);
  for (std::size_t size : {huge, huge - 1, huge - 30 - 15}) {
    try {
      ZipWriter::makeArchive("diagnostic.json", {base, size});
      ADD_FAILURE() << size << " bytes of data were accepted";
    } catch (const ZipWriterError& e) {
      EXPECT_EQ(e.kind(), ZipWriterError::Kind::entryDataTooLarge);
      EXPECT_EQ(e.size(), size);
    }
  }
  munmap(region, huge);
}

}  // namespace
}  // namespace flagrig
