// How the settings dialog's Boss Key field turns a key press into a key: the name each virtual-key
// code shows, the modifier words in front of it, and the key and modifiers the field's text stands
// for. Plain C++, no platform calls.
#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The name of a virtual-key code in the field: "F5", "Num 7", "PageUp"... Empty for Shift, Ctrl and
// Alt pressed alone and for every code the field does not take (the Windows keys, for one).
std::string BossKeyName(uint16_t code);
// True for Shift (16), Ctrl (17) and Alt (18).
bool IsModifierKey(uint16_t code);

// What a key press leaves in the field and in the key being edited.
struct TBossKeyCapture {
  std::string FieldText;   // "Ctrl  Shift  Q": each held modifier and two blanks, then the key's name
  std::string CharString;  // the key's name ("" for a modifier alone or a key not taken)
  uint16_t CharAscII = 0;  // the virtual-key code (0 for a modifier alone)
};
// A key press with the modifiers held. A modifier pressed alone shows only the modifier words and
// stores code 0; a key without a name empties the field, modifier words included.
TBossKeyCapture CaptureBossKey(uint16_t code, bool ctrl, bool shift, bool alt);

// The modifiers the field's text names ("Ctrl", "Shift", "Alt" anywhere in it, case-sensitive).
struct TBossKeyModifiers {
  bool Ctrl = false, Shift = false, Alt = false;
};
TBossKeyModifiers ModifiersOfFieldText(const std::string& text);

}  // namespace qv
