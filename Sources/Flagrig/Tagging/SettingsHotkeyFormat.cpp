#include "Flagrig/Tagging/SettingsHotkeyFormat.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "Platform/Desktop/Event.h"

namespace flagrig {

namespace {

// The US-layout virtual key codes that have a name, sorted by code.
constexpr std::array<std::pair<std::uint16_t, std::string_view>, 63> keyNames = {{
    {0, "A"},      {1, "S"},    {2, "D"},       {3, "F"},     {4, "H"},     {5, "G"},
    {6, "Z"},      {7, "X"},    {8, "C"},       {9, "V"},     {11, "B"},    {12, "Q"},
    {13, "W"},     {14, "E"},   {15, "R"},      {16, "Y"},    {17, "T"},    {18, "1"},
    {19, "2"},     {20, "3"},   {21, "4"},      {22, "6"},    {23, "5"},    {24, "="},
    {25, "9"},     {26, "7"},   {27, "-"},      {28, "8"},    {29, "0"},    {30, "]"},
    {31, "O"},     {32, "U"},   {33, "["},      {34, "I"},    {35, "P"},    {36, "\u21a9"},
    {37, "L"},     {38, "J"},   {39, "'"},      {40, "K"},    {41, ";"},    {42, "\\"},
    {43, ","},     {44, "/"},   {45, "N"},      {46, "M"},    {47, "."},    {48, "\u21e5"},
    {49, "Space"}, {50, "`"},   {51, "\u232b"}, {96, "F5"},   {97, "F6"},   {98, "F7"},
    {99, "F3"},    {100, "F8"}, {101, "F9"},    {103, "F11"}, {109, "F10"}, {111, "F12"},
    {118, "F4"},   {120, "F2"}, {122, "F1"},
}};

}  // namespace

std::string SettingsHotkeyFormat::keyName(std::uint16_t code) {
  auto it = std::lower_bound(keyNames.begin(), keyNames.end(), code,
                             [](const auto& entry, std::uint16_t c) { return entry.first < c; });
  if (it != keyNames.end() && it->first == code) return std::string(it->second);
  return "Key" + std::to_string(code);
}

std::string SettingsHotkeyFormat::describe(std::uint16_t code, std::uint64_t flags) {
  using namespace platform;
  std::string text;
  if (flags & ModifierFlag::control) text += "\u2303";
  if (flags & ModifierFlag::option) text += "\u2325";
  if (flags & ModifierFlag::shift) text += "\u21e7";
  if (flags & ModifierFlag::command) text += "\u2318";
  return text + keyName(code);
}

}  // namespace flagrig
