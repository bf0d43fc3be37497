// Windows virtual-key codes as X key symbols, for the key-state methods of the shell
// object. The table covers the keys scripts ask about: letters, digits, modifiers (either
// side and each side), locks, navigation and editing keys, function keys and the keypad.
// The mouse-button codes are answered from the pointer's button state instead.
#pragma once
#include <cstdint>
#include <vector>

namespace kit::platform {

// The key symbols of a virtual-key code; empty for a code without one.
std::vector<uint32_t> keysyms_of_virtual_key(int64_t vk);
// The pointer button mask (X's Button1Mask...) of a mouse-button code, or 0.
uint16_t button_mask_of_virtual_key(int64_t vk);
// Which lock a code names for its toggled state: 0 Caps Lock, 1 Num Lock, 2 Scroll Lock
// (the keyboard's LED numbers), -1 for other codes.
int lock_led_of_virtual_key(int64_t vk);

} // namespace kit::platform
