#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Flagrig/Tagging/PaletteEntry.h"
#include "Flagrig/Tagging/Tag.h"
#include "Flagrig/Tagging/TagFont.h"
#include "Flagrig/Tagging/TagHotkey.h"
#include "Flagrig/Tagging/TagShape.h"
#include "Flagrig/Tagging/WindowInfo.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Desktop/TextField.h"

namespace platform {
class Screen;
class Timer;
class Value;
}  // namespace platform

namespace flagrig {

class TagPanel;

// The single owner of all tags. It makes a tag for a picked window, keeps every tag panel 2
// points above its window by polling the window list 30 times a second, hides a panel while its
// window is off screen, drops a tag once its window is destroyed or the owning process is gone,
// follows label edits, cycles colours and removes tags. It also holds the appearance settings
// (palette, shape, font, big tags). It is the text-field delegate of every tag label. Main
// thread only.
class TagManager : public platform::TextFieldDelegate,
                   public std::enable_shared_from_this<TagManager> {
 public:
  static constexpr double pollInterval = 1.0 / 30.0;
  // The gap between a window's top edge and its tag panel.
  static constexpr double panelGap = 2;

  // Created on first use; creating it loads the settings and starts the position poll.
  static TagManager& shared();
  // Reads the stored appearance settings; `shared()` finishes the creation.
  TagManager();
  ~TagManager() override;

  // Tags a picked window. False, with nothing changed or posted, when the window already has a
  // tag; true when a tag was made (so the caller can report a new tag only).
  bool createTag(const WindowInfo& info);
  void removeTag(std::uint32_t windowNumber);
  void removeAll();
  // Moves one tag on to the next palette colour.
  void cycleColor(std::uint32_t windowNumber);
  // Stores the font and applies it to every label.
  void setFont(TagFont font);
  // Stores the shape and gives every panel's body its corner radius.
  void setTagShape(TagShape shape);
  // Stores the big-tags setting and re-lays every panel for it.
  void setBigTags(bool big);
  // Replaces one or both colours of one entry and saves the palette; an index outside the
  // palette does nothing.
  void setPaletteColor(long index, std::optional<platform::Color> background,
                       std::optional<platform::Color> text);
  void savePalette();
  static std::optional<std::vector<PaletteEntry>> loadPalette();
  static const std::vector<PaletteEntry>& defaultPalette();

  // Sizes and places one panel for window bounds in window-list coordinates.
  void positionPanel(TagPanel& panel, const platform::Rect& window);
  // One tick of the position poll.
  void updatePositions();

  // Label editing.
  void controlTextDidChange(platform::TextField& field) override;
  bool doCommandBy(platform::TextField& control, platform::TextCommand command) override;

  const std::vector<Tag>& tags() const { return tags_; }
  const std::vector<PaletteEntry>& palette() const { return palette_; }
  // The palette is never empty: an empty one is refused.
  void setPalette(std::vector<PaletteEntry> palette);
  TagShape tagShape() const { return tagShape_; }
  TagFont tagFont() const { return tagFont_; }
  bool bigTags() const { return bigTags_; }
  long nextColorIndex() const { return nextColorIndex_; }
  const std::shared_ptr<platform::Timer>& pollTimer() const { return pollTimer_; }

  // Global hotkey, held by `TagHotkey` ---------------------------------------------------------
  static constexpr std::uint16_t defaultHotkeyCode = TagHotkey::defaultCode;
  static constexpr std::uint64_t defaultHotkeyModifiers = TagHotkey::defaultModifiers;
  static constexpr platform::EventHotKeyID hotkeyID = TagHotkey::hotkeyID;

  // Starts a window pick whose chosen window gets a tag; "tag_created" goes out only when a
  // new tag was made. The status menu, the hotkey and the tag demo start picks this way. It
  // does not activate the app.
  static void startTaggingPick();
  // Stores the hotkey (code and modifier-flag bits) and registers it in place of the old one.
  void setHotkey(std::uint16_t code, std::uint64_t modifiers);
  // Forgets the hotkey; the default is not seeded again.
  void clearHotkey();
  std::optional<std::uint16_t> hotkeyCode() const;
  std::uint64_t hotkeyModifiers() const;
  bool isHotkeyRegistered() const;
  // The hot-key modifier bits of the command, option, control and shift flags; others ignored.
  static std::uint32_t hotkeyModifierBits(std::uint64_t modifierFlags);

 private:
  struct Holder;
  // The rest of the creation, once the manager can be referred to weakly.
  void finishCreation();
  void startPositionPoll();
  Tag* findTag(std::uint32_t windowNumber);
  void positionPanel(TagPanel& panel, const platform::Rect& window,
                     const std::vector<std::shared_ptr<platform::Screen>>& screens);
  void placeByMeasuring(TagPanel& panel, const platform::Rect& window,
                        const std::vector<std::shared_ptr<platform::Screen>>& screens);

  std::vector<Tag> tags_;
  // What each panel was last placed for, and where that left it.
  struct Placement {
    platform::Rect window;
    platform::Rect frame;
    bool big = false;
    std::optional<platform::Font> font;
    std::string text;
    std::vector<std::pair<platform::Rect, platform::Rect>> screens;
  };
  std::unordered_map<const TagPanel*, Placement> placements_;
  // The window list last looked through, and the tagged windows' bounds found in it.
  std::shared_ptr<const platform::Value> lookedUpList_;
  std::unordered_map<std::uint32_t, std::optional<platform::Rect>> lookedUp_;
  // The screens the panels were last placed on.
  std::vector<std::pair<platform::Rect, platform::Rect>> placedScreens_;
  // What the last pass saw when it found every tagged window and left each panel placed and
  // ordered above it. While the list is the same object and neither the tags, the screens nor
  // any window changed since, a tick has nothing to do and looks at nothing else.
  struct StillPass {
    std::uint64_t tags;
    std::uint64_t screens;
    std::uint64_t windows;
    bool operator==(const StillPass&) const = default;
  };
  std::optional<StillPass> stillPass_;
  // The counts as they stand, to compare with or keep as a still pass.
  StillPass currentCounts() const;
  // Counts the tags added and removed.
  std::uint64_t tagsChangeCount_ = 0;
  std::vector<PaletteEntry> palette_;
  TagShape tagShape_ = TagShape::rounded;
  TagFont tagFont_ = TagFont::mono;
  bool bigTags_ = false;
  std::shared_ptr<platform::Timer> pollTimer_;
  long nextColorIndex_ = 0;
};

}  // namespace flagrig
