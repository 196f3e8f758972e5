// The flat control look's choices, apart from the painting: which controls
// get it, and their colours by scheme and state.
#pragma once

#include <cstdint>

struct Rgb {
  std::uint8_t red, green, blue;
  bool operator==(const Rgb& other) const {
    return red == other.red && green == other.green && blue == other.blue;
  }
};

enum class FlatKind {
  kNone,
  kPushButton,
  kCheckBox,
  kRadioButton,
  kGroupBox,
  kEdit,
  kComboBox,
  kComboList,
  kUpDown
};

// The kind of look a control gets from its class name, its style and its
// parent's class name (class names compare regardless of case).
FlatKind FlatKindOf(const char* class_name, std::uint32_t style, const char* parent_class_name);

// Schemes 1 to 3 have a flat look; any other number means the system's look.
bool IsFlatScheme(int scheme);

Rgb FrameColour(int scheme, bool disabled, Rgb button_face);
// The edge just inside the frame.
Rgb InnerEdgeColour(bool disabled_or_read_only, Rgb window, Rgb button_face);

enum class ButtonState { kNormal, kHover, kPressed, kDisabled };
struct Gradient {
  Rgb top, bottom;
};
Gradient PushButtonGradient(int scheme, ButtonState state);
