#pragma once
// Virtual-key codes of the engine interface and their Qt keys. Shared by the
// engine (codes in, Qt key events out) and the host side (Qt key events in,
// codes out).
#include <Qt>

namespace webview {

struct VirtualKey {
    unsigned code;
    int qtKey;
    bool keypad;    // the Qt event carries Qt::KeypadModifier
    bool extended;  // the extended-key flag of key messages
};

inline constexpr VirtualKey kVirtualKeys[] = {
    {0x08, Qt::Key_Backspace, false, false}, {0x09, Qt::Key_Tab, false, false},
    {0x0C, Qt::Key_Clear, false, false},     {0x0D, Qt::Key_Return, false, false},
    {0x10, Qt::Key_Shift, false, false},     {0x11, Qt::Key_Control, false, false},
    {0x12, Qt::Key_Alt, false, false},       {0x13, Qt::Key_Pause, false, false},
    {0x14, Qt::Key_CapsLock, false, false},  {0x1B, Qt::Key_Escape, false, false},
    {0x20, Qt::Key_Space, false, false},     {0x21, Qt::Key_PageUp, false, true},
    {0x22, Qt::Key_PageDown, false, true},   {0x23, Qt::Key_End, false, true},
    {0x24, Qt::Key_Home, false, true},       {0x25, Qt::Key_Left, false, true},
    {0x26, Qt::Key_Up, false, true},         {0x27, Qt::Key_Right, false, true},
    {0x28, Qt::Key_Down, false, true},       {0x2C, Qt::Key_Print, false, true},
    {0x2D, Qt::Key_Insert, false, true},     {0x2E, Qt::Key_Delete, false, true},
    {0x5B, Qt::Key_Meta, false, true},       {0x5D, Qt::Key_Menu, false, true},
    {0x60, Qt::Key_0, true, false},          {0x61, Qt::Key_1, true, false},
    {0x62, Qt::Key_2, true, false},          {0x63, Qt::Key_3, true, false},
    {0x64, Qt::Key_4, true, false},          {0x65, Qt::Key_5, true, false},
    {0x66, Qt::Key_6, true, false},          {0x67, Qt::Key_7, true, false},
    {0x68, Qt::Key_8, true, false},          {0x69, Qt::Key_9, true, false},
    {0x6A, Qt::Key_Asterisk, true, false},   {0x6B, Qt::Key_Plus, true, false},
    {0x6D, Qt::Key_Minus, true, false},      {0x6E, Qt::Key_Period, true, false},
    {0x6F, Qt::Key_Slash, true, true},       {0x90, Qt::Key_NumLock, false, true},
    {0x91, Qt::Key_ScrollLock, false, false},
    {0xBA, Qt::Key_Semicolon, false, false}, {0xBB, Qt::Key_Equal, false, false},
    {0xBC, Qt::Key_Comma, false, false},     {0xBD, Qt::Key_Minus, false, false},
    {0xBE, Qt::Key_Period, false, false},    {0xBF, Qt::Key_Slash, false, false},
    {0xC0, Qt::Key_QuoteLeft, false, false}, {0xDB, Qt::Key_BracketLeft, false, false},
    {0xDC, Qt::Key_Backslash, false, false}, {0xDD, Qt::Key_BracketRight, false, false},
    {0xDE, Qt::Key_Apostrophe, false, false},
};

// Qt key (with the keypad modifier when set) for a virtual-key code; 0 when
// the code has no Qt key.
inline int qtKeyFromVirtualKey(unsigned code, bool* keypad = nullptr)
{
    if (keypad)
        *keypad = false;
    if ((code >= 0x30 && code <= 0x39) || (code >= 0x41 && code <= 0x5A))
        return int(code);  // digits and letters share their codes
    if (code >= 0x70 && code <= 0x87)
        return Qt::Key_F1 + int(code - 0x70);
    for (const VirtualKey& k : kVirtualKeys) {
        if (k.code == code) {
            if (keypad)
                *keypad = k.keypad;
            return k.qtKey;
        }
    }
    return 0;
}

// Virtual-key code for a Qt key; 0 when there is none. Sets *extended for the
// keys that carry the extended-key flag.
inline unsigned virtualKeyFromQtKey(int key, bool keypad, bool* extended = nullptr)
{
    if (extended)
        *extended = false;
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) && !keypad)
        return unsigned(key);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return unsigned(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70u + unsigned(key - Qt::Key_F1);
    if (key == Qt::Key_Backtab)
        key = Qt::Key_Tab;
    if (key == Qt::Key_Enter)
        key = Qt::Key_Return;
    const VirtualKey* fallback = nullptr;
    for (const VirtualKey& k : kVirtualKeys) {
        if (k.qtKey != key)
            continue;
        if (k.keypad == keypad) {
            fallback = &k;
            break;
        }
        if (!fallback)
            fallback = &k;
    }
    if (!fallback)
        return 0;
    if (extended)
        *extended = fallback->extended;
    return fallback->code;
}

}  // namespace webview
