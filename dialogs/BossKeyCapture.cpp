#include "dialogs/BossKeyCapture.h"

namespace qv {

bool IsModifierKey(uint16_t code) { return code >= 16 && code <= 18; }

std::string BossKeyName(uint16_t code) {
  switch (code) {
    case 8: return "BackSpace";
    case 9: return "Tab";
    case 12: return "Clear";
    case 13: return "Enter";
    case 19: return "Pause";
    case 20: return "CapsLock";
    case 27: return "Esc";
    case 32: return "Space";
    case 33: return "PageUp";
    case 34: return "PageDown";
    case 35: return "End";
    case 36: return "Home";
    case 37: return "LeftArrow";
    case 38: return "UpArrow";
    case 39: return "RightArrow";
    case 40: return "DownArrow";
    case 44: return "PrintScreen";
    case 45: return "Ins";
    case 46: return "Del";
    case 47: return "Help";
    case 106: return "*";
    case 107: return "+";
    case 108: return "Separator";
    case 109: return "-";
    case 110: return ".";
    case 111: return "/";
    case 144: return "Numlock";
    case 145: return "Scroll";
    default: break;
  }
  if (code >= 48 && code <= 90) return std::string(1, (char)code);
  if (code >= 96 && code <= 105) return "Num " + std::to_string(code - 96);
  if (code >= 112 && code <= 135) return "F" + std::to_string(code - 111);
  return std::string();
}

TBossKeyCapture CaptureBossKey(uint16_t code, bool ctrl, bool shift, bool alt) {
  TBossKeyCapture c;
  std::string words;
  if (ctrl) words += "Ctrl  ";
  if (shift) words += "Shift  ";
  if (alt) words += "Alt  ";
  if (IsModifierKey(code)) {
    c.FieldText = words;
    return c;
  }
  c.CharString = BossKeyName(code);
  if (c.CharString.empty()) return c;  // a key the field does not take: nothing at all
  c.CharAscII = code;
  c.FieldText = words + c.CharString;
  return c;
}

TBossKeyModifiers ModifiersOfFieldText(const std::string& text) {
  TBossKeyModifiers m;
  m.Ctrl = text.find("Ctrl") != std::string::npos;
  m.Shift = text.find("Shift") != std::string::npos;
  m.Alt = text.find("Alt") != std::string::npos;
  return m;
}

}  // namespace qv
