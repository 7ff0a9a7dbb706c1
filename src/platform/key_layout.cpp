#include <cstdint>

#include "platform/keys.hpp"

namespace cncsend {

namespace {

struct LayoutKey {
    std::uint8_t virtual_key;
    std::uint8_t scan_code;
    char plain;    // character without modifiers, 0 for none
    char shifted;  // character with Shift, 0 for none
};

// A US keyboard: the keys a terminal can report, with their scan codes.
constexpr LayoutKey kKeys[] = {
    {0x08, 0x0E, 8, 8},     {0x09, 0x0F, 9, 9},      {0x0D, 0x1C, 13, 13},
    {0x10, 0x2A, 0, 0},     {0x11, 0x1D, 0, 0},      {0x12, 0x38, 0, 0},
    {0x1B, 0x01, 27, 27},   {0x20, 0x39, ' ', ' '},  {0x21, 0x49, 0, 0},
    {0x22, 0x51, 0, 0},     {0x23, 0x4F, 0, 0},      {0x24, 0x47, 0, 0},
    {0x25, 0x4B, 0, 0},     {0x26, 0x48, 0, 0},      {0x27, 0x4D, 0, 0},
    {0x28, 0x50, 0, 0},     {0x2D, 0x52, 0, 0},      {0x2E, 0x53, 0, 0},
    {0x30, 0x0B, '0', ')'}, {0x31, 0x02, '1', '!'},  {0x32, 0x03, '2', '@'},
    {0x33, 0x04, '3', '#'}, {0x34, 0x05, '4', '$'},  {0x35, 0x06, '5', '%'},
    {0x36, 0x07, '6', '^'}, {0x37, 0x08, '7', '&'},  {0x38, 0x09, '8', '*'},
    {0x39, 0x0A, '9', '('}, {0x41, 0x1E, 'A', 'A'},  {0x42, 0x30, 'B', 'B'},
    {0x43, 0x2E, 'C', 'C'}, {0x44, 0x20, 'D', 'D'},  {0x45, 0x12, 'E', 'E'},
    {0x46, 0x21, 'F', 'F'}, {0x47, 0x22, 'G', 'G'},  {0x48, 0x23, 'H', 'H'},
    {0x49, 0x17, 'I', 'I'}, {0x4A, 0x24, 'J', 'J'},  {0x4B, 0x25, 'K', 'K'},
    {0x4C, 0x26, 'L', 'L'}, {0x4D, 0x32, 'M', 'M'},  {0x4E, 0x31, 'N', 'N'},
    {0x4F, 0x18, 'O', 'O'}, {0x50, 0x19, 'P', 'P'},  {0x51, 0x10, 'Q', 'Q'},
    {0x52, 0x13, 'R', 'R'}, {0x53, 0x1F, 'S', 'S'},  {0x54, 0x14, 'T', 'T'},
    {0x55, 0x16, 'U', 'U'}, {0x56, 0x2F, 'V', 'V'},  {0x57, 0x11, 'W', 'W'},
    {0x58, 0x2D, 'X', 'X'}, {0x59, 0x15, 'Y', 'Y'},  {0x5A, 0x2C, 'Z', 'Z'},
    {0x60, 0x52, '0', 0},   {0x61, 0x4F, '1', 0},    {0x62, 0x50, '2', 0},
    {0x63, 0x51, '3', 0},   {0x64, 0x4B, '4', 0},    {0x65, 0x4C, '5', 0},
    {0x66, 0x4D, '6', 0},   {0x67, 0x47, '7', 0},    {0x68, 0x48, '8', 0},
    {0x69, 0x49, '9', 0},   {0x6A, 0x37, '*', 0},    {0x6B, 0x4E, '+', 0},
    {0x6D, 0x4A, '-', 0},   {0x6E, 0x53, '.', 0},    {0x6F, 0x35, '/', 0},
    {0x70, 0x3B, 0, 0},     {0x71, 0x3C, 0, 0},      {0x72, 0x3D, 0, 0},
    {0x73, 0x3E, 0, 0},     {0x74, 0x3F, 0, 0},      {0x75, 0x40, 0, 0},
    {0x76, 0x41, 0, 0},     {0x77, 0x42, 0, 0},      {0x78, 0x43, 0, 0},
    {0x79, 0x44, 0, 0},     {0x7A, 0x57, 0, 0},      {0x7B, 0x58, 0, 0},
    {0xBA, 0x27, ';', ':'}, {0xBB, 0x0D, '=', '+'},  {0xBC, 0x33, ',', '<'},
    {0xBD, 0x0C, '-', '_'}, {0xBE, 0x34, '.', '>'},  {0xBF, 0x35, '/', '?'},
    {0xC0, 0x29, '`', '~'}, {0xDB, 0x1A, '[', '{'},  {0xDC, 0x2B, '\\', '|'},
    {0xDD, 0x1B, ']', '}'}, {0xDE, 0x28, '\'', '"'},
};

const LayoutKey* find_virtual_key(std::uint32_t virtual_key) {
    for (const LayoutKey& key : kKeys)
        if (key.virtual_key == virtual_key) return &key;
    return nullptr;
}

// Keys typed on the main block, so that a keypad key never wins over them.
bool is_keypad(const LayoutKey& key) {
    return key.virtual_key >= 0x60 && key.virtual_key <= 0x6F;
}

constexpr std::int16_t kShift = 0x100;
constexpr std::int16_t kCtrl = 0x200;

}  // namespace

std::uint32_t us_layout_map_virtual_key(std::uint32_t code, std::uint32_t map_type) {
    const LayoutKey* key = find_virtual_key(code);
    if (key == nullptr) return 0;
    if (map_type == 0) return key->scan_code;
    if (map_type == 2) return static_cast<unsigned char>(key->plain);
    return 0;
}

std::int16_t us_layout_scan_character(unsigned char character) {
    if (character == 0) return kCtrl | kShift | 0x32;  // Ctrl+@
    if (character == 10) return kCtrl | 0x0D;
    if (character >= 1 && character <= 26 && character != 8 && character != 9 && character != 13)
        return static_cast<std::int16_t>(kCtrl | ('A' + character - 1));
    switch (character) {
        case 28:
            return kCtrl | 0xDC;
        case 29:
            return kCtrl | 0xDD;
        case 30:
            return kCtrl | kShift | 0x36;
        case 31:
            return kCtrl | kShift | 0xBD;
        default:
            break;
    }
    for (const LayoutKey& key : kKeys) {
        if (is_keypad(key)) continue;
        const bool letter = key.plain >= 'A' && key.plain <= 'Z';
        if (letter) {
            if (character == key.plain) return static_cast<std::int16_t>(kShift | key.virtual_key);
            if (character == key.plain + ('a' - 'A')) return key.virtual_key;
            continue;
        }
        if (key.plain != 0 && character == static_cast<unsigned char>(key.plain))
            return key.virtual_key;
        if (key.shifted != 0 && character == static_cast<unsigned char>(key.shifted))
            return static_cast<std::int16_t>(kShift | key.virtual_key);
    }
    return -1;
}

}  // namespace cncsend
