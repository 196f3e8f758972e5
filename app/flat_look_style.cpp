#include "app/flat_look_style.h"

#include <windows.h>

namespace {

bool SameName(const char* a, const char* b) { return a && b && lstrcmpiA(a, b) == 0; }

std::uint8_t Darker(std::uint8_t value) { return value > 32 ? value - 32 : 0; }

// Top and bottom of each scheme's button, normal state: light above, the
// scheme's hue below; hover lifts it, pressed turns it over.
const Gradient kSchemeGradients[3] = {
    {{239, 245, 251}, {196, 216, 236}},
    {{246, 250, 239}, {212, 226, 188}},
    {{252, 252, 254}, {226, 225, 236}},
};

Rgb Lighter(Rgb colour) {
  auto up = [](std::uint8_t v) { return static_cast<std::uint8_t>(v + (255 - v) / 2); };
  return Rgb{up(colour.red), up(colour.green), up(colour.blue)};
}

}  // namespace

FlatKind FlatKindOf(const char* class_name, std::uint32_t style, const char* parent_class_name) {
  if (SameName(class_name, "Button")) {
    if (style & BS_PUSHLIKE) return FlatKind::kNone;
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
        return FlatKind::kPushButton;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        return FlatKind::kCheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return FlatKind::kRadioButton;
      case BS_GROUPBOX:
        return FlatKind::kGroupBox;
      default:  // owner-drawn, split and command-link buttons draw themselves
        return FlatKind::kNone;
    }
  }
  if (SameName(class_name, "Edit")) {
    // The fields of an IP-address control are part of that control's look.
    return SameName(parent_class_name, "SysIPAddress32") ? FlatKind::kNone : FlatKind::kEdit;
  }
  if (SameName(class_name, "ComboBox")) {
    return (style & 3) == CBS_SIMPLE ? FlatKind::kNone : FlatKind::kComboBox;
  }
  if (SameName(class_name, "ComboLBox")) return FlatKind::kComboList;
  if (SameName(class_name, "msctls_updown32")) return FlatKind::kUpDown;
  return FlatKind::kNone;
}

bool IsFlatScheme(int scheme) { return scheme >= 1 && scheme <= 3; }

Rgb FrameColour(int scheme, bool disabled, Rgb button_face) {
  if (disabled) {
    return Rgb{Darker(button_face.red), Darker(button_face.green), Darker(button_face.blue)};
  }
  switch (scheme) {
    case 1:
      return Rgb{123, 158, 189};
    case 2:
      return Rgb{164, 185, 127};
    default:
      return Rgb{198, 197, 215};
  }
}

Rgb InnerEdgeColour(bool disabled_or_read_only, Rgb window, Rgb button_face) {
  return disabled_or_read_only ? button_face : window;
}

Gradient PushButtonGradient(int scheme, ButtonState state) {
  const Gradient normal = kSchemeGradients[IsFlatScheme(scheme) ? scheme - 1 : 2];
  switch (state) {
    case ButtonState::kHover:
      return Gradient{normal.top, Lighter(normal.bottom)};
    case ButtonState::kPressed:
      return Gradient{normal.bottom, normal.top};
    case ButtonState::kDisabled:
      return Gradient{{244, 244, 244}, {232, 232, 232}};
    case ButtonState::kNormal:
      break;
  }
  return normal;
}
