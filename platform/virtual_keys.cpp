#include "platform/virtual_keys.h"

namespace kit::platform {
namespace {

struct key_row {
  int vk;
  uint32_t sym1, sym2;
};

// Virtual-key code -> key symbols (0: none). Letters, digits, F-keys and the keypad digits
// are ranges handled below the table.
constexpr key_row kKeys[] = {
    {0x08, 0xff08, 0},       // BACK: BackSpace
    {0x09, 0xff09, 0},       // TAB: Tab
    {0x0C, 0xff0b, 0},       // CLEAR: Clear
    {0x0D, 0xff0d, 0xff8d},  // RETURN: Return, KP_Enter
    {0x10, 0xffe1, 0xffe2},  // SHIFT: Shift_L, Shift_R
    {0x11, 0xffe3, 0xffe4},  // CONTROL: Control_L, Control_R
    {0x12, 0xffe9, 0xffea},  // MENU: Alt_L, Alt_R
    {0x13, 0xff13, 0},       // PAUSE: Pause
    {0x14, 0xffe5, 0},       // CAPITAL: Caps_Lock
    {0x1B, 0xff1b, 0},       // ESCAPE: Escape
    {0x20, 0x0020, 0},       // SPACE: space
    {0x21, 0xff55, 0},       // PRIOR: Prior
    {0x22, 0xff56, 0},       // NEXT: Next
    {0x23, 0xff57, 0},       // END: End
    {0x24, 0xff50, 0},       // HOME: Home
    {0x25, 0xff51, 0},       // LEFT: Left
    {0x26, 0xff52, 0},       // UP: Up
    {0x27, 0xff53, 0},       // RIGHT: Right
    {0x28, 0xff54, 0},       // DOWN: Down
    {0x2C, 0xff61, 0},       // SNAPSHOT: Print
    {0x2D, 0xff63, 0},       // INSERT: Insert
    {0x2E, 0xffff, 0},       // DELETE: Delete
    {0x5B, 0xffeb, 0},       // LWIN: Super_L
    {0x5C, 0xffec, 0},       // RWIN: Super_R
    {0x5D, 0xff67, 0},       // APPS: Menu
    {0x6A, 0xffaa, 0},       // MULTIPLY: KP_Multiply
    {0x6B, 0xffab, 0},       // ADD: KP_Add
    {0x6D, 0xffad, 0},       // SUBTRACT: KP_Subtract
    {0x6E, 0xffae, 0},       // DECIMAL: KP_Decimal
    {0x6F, 0xffaf, 0},       // DIVIDE: KP_Divide
    {0x90, 0xff7f, 0},       // NUMLOCK: Num_Lock
    {0x91, 0xff14, 0},       // SCROLL: Scroll_Lock
    {0xA0, 0xffe1, 0},       // LSHIFT: Shift_L
    {0xA1, 0xffe2, 0},       // RSHIFT: Shift_R
    {0xA2, 0xffe3, 0},       // LCONTROL: Control_L
    {0xA3, 0xffe4, 0},       // RCONTROL: Control_R
    {0xA4, 0xffe9, 0},       // LMENU: Alt_L
    {0xA5, 0xffea, 0xfe03},  // RMENU: Alt_R, ISO_Level3_Shift (AltGr)
    {0xBA, 0x003b, 0},       // OEM_1: semicolon
    {0xBB, 0x003d, 0},       // OEM_PLUS: equal
    {0xBC, 0x002c, 0},       // OEM_COMMA: comma
    {0xBD, 0x002d, 0},       // OEM_MINUS: minus
    {0xBE, 0x002e, 0},       // OEM_PERIOD: period
    {0xBF, 0x002f, 0},       // OEM_2: slash
    {0xC0, 0x0060, 0},       // OEM_3: grave
    {0xDB, 0x005b, 0},       // OEM_4: bracketleft
    {0xDC, 0x005c, 0},       // OEM_5: backslash
    {0xDD, 0x005d, 0},       // OEM_6: bracketright
    {0xDE, 0x0027, 0},       // OEM_7: apostrophe
};

} // namespace

std::vector<uint32_t> keysyms_of_virtual_key(int64_t vk) {
  if (vk >= 'A' && vk <= 'Z') return {static_cast<uint32_t>(vk - 'A' + 'a')};  // a..z
  if (vk >= '0' && vk <= '9') return {static_cast<uint32_t>(vk)};              // 0..9
  if (vk >= 0x60 && vk <= 0x69) return {static_cast<uint32_t>(0xffb0 + vk - 0x60)};  // KP_0..KP_9
  if (vk >= 0x70 && vk <= 0x87) return {static_cast<uint32_t>(0xffbe + vk - 0x70)};  // F1..F24
  for (const key_row& row : kKeys) {
    if (row.vk != vk) continue;
    if (row.sym2) return {row.sym1, row.sym2};
    return {row.sym1};
  }
  return {};
}

uint16_t button_mask_of_virtual_key(int64_t vk) {
  switch (vk) {
    case 0x01: return 0x100;  // LBUTTON: Button1Mask
    case 0x02: return 0x400;  // RBUTTON: Button3Mask
    case 0x04: return 0x200;  // MBUTTON: Button2Mask
    default: return 0;
  }
}

int lock_led_of_virtual_key(int64_t vk) {
  switch (vk) {
    case 0x14: return 0;
    case 0x90: return 1;
    case 0x91: return 2;
    default: return -1;
  }
}

} // namespace kit::platform
