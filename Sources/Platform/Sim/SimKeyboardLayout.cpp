#include "Platform/Sim/SimKeyboardLayout.h"

#include "Platform/Desktop/Event.h"

namespace platform::sim {

namespace {

struct Key {
  std::uint16_t code;
  char plain;
  char shifted;
};

constexpr Key keys[] = {
    {0, 'a', 'A'},   {1, 's', 'S'},  {2, 'd', 'D'},   {3, 'f', 'F'},  {4, 'h', 'H'},
    {5, 'g', 'G'},   {6, 'z', 'Z'},  {7, 'x', 'X'},   {8, 'c', 'C'},  {9, 'v', 'V'},
    {11, 'b', 'B'},  {12, 'q', 'Q'}, {13, 'w', 'W'},  {14, 'e', 'E'}, {15, 'r', 'R'},
    {16, 'y', 'Y'},  {17, 't', 'T'}, {18, '1', '!'},  {19, '2', '@'}, {20, '3', '#'},
    {21, '4', '$'},  {22, '6', '^'}, {23, '5', '%'},  {24, '=', '+'}, {25, '9', '('},
    {26, '7', '&'},  {27, '-', '_'}, {28, '8', '*'},  {29, '0', ')'}, {30, ']', '}'},
    {31, 'o', 'O'},  {32, 'u', 'U'}, {33, '[', '{'},  {34, 'i', 'I'}, {35, 'p', 'P'},
    {37, 'l', 'L'},  {38, 'j', 'J'}, {39, '\'', '"'}, {40, 'k', 'K'}, {41, ';', ':'},
    {42, '\\', '|'}, {43, ',', '<'}, {44, '/', '?'},  {45, 'n', 'N'}, {46, 'm', 'M'},
    {47, '.', '>'},  {49, ' ', ' '}, {50, '`', '~'},
};

}  // namespace

std::optional<SimKeyboardLayout::KeyStroke> SimKeyboardLayout::keyStrokeFor(char c) {
  for (const auto& key : keys) {
    if (key.plain == c) return KeyStroke{key.code, false};
    if (key.shifted == c) return KeyStroke{key.code, true};
  }
  return std::nullopt;
}

std::string SimKeyboardLayout::charactersFor(std::uint16_t keyCode, Level level) {
  const bool shift = level == Level::shifted;
  switch (keyCode) {
    case KeyCode::returnKey:
    case KeyCode::keypadEnter:
      return "\r";
    case KeyCode::tab:
      return "\t";
    case KeyCode::deleteKey:
      return "\x7f";
    case KeyCode::escape:
      return "\x1b";
    default:
      break;
  }
  for (const auto& key : keys) {
    if (key.code == keyCode) return std::string(1, shift ? key.shifted : key.plain);
  }
  return {};
}

}  // namespace platform::sim
