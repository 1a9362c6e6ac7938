// The keys a window's handler receives, whatever the keyboard or the front end: the arrows, Tab,
// the two that press, Escape and three letters. Shift goes beside the key.
#pragma once

#include <iterator>
#include <optional>
#include <string_view>

enum class TKey {
    vkLeft,
    vkRight,
    vkUp,
    vkDown,
    vkTab,
    vkReturn,
    vkSpace,
    vkEscape,
    vkB,
    vkR,
    vkU
};

// The names scripts write (lower case, as the letters are shown in the key tables).
struct TKeyName {
    const char* name;
    TKey key;
    bool shift;
};
inline constexpr TKeyName KeyNames[] = {
    {"left", TKey::vkLeft, false},     {"right", TKey::vkRight, false},
    {"up", TKey::vkUp, false},         {"down", TKey::vkDown, false},
    {"tab", TKey::vkTab, false},       {"shift+tab", TKey::vkTab, true},
    {"enter", TKey::vkReturn, false},  {"space", TKey::vkSpace, false},
    {"escape", TKey::vkEscape, false}, {"b", TKey::vkB, false},
    {"r", TKey::vkR, false},           {"u", TKey::vkU, false},
    {"shift+u", TKey::vkU, true},
};

constexpr std::optional<TKeyName> KeyNamed(std::string_view name) {
    for (const TKeyName& k : KeyNames)
        if (name == k.name) return k;
    return std::nullopt;
}

// Keys that move about: held down they repeat, and they press nothing. The others act once per
// stroke, as a button press does.
constexpr bool IsNavigationKey(TKey key) {
    return key == TKey::vkLeft || key == TKey::vkRight || key == TKey::vkUp ||
           key == TKey::vkDown || key == TKey::vkTab;
}

// The keys as browsers number and name them (KeyboardEvent.keyCode, Windows' virtual-key codes;
// KeyboardEvent.key, a letter in lower case): read by the web backend and by the web build, which
// hands them to the page's script and its tests.
struct TKeyCode {
    int code;
    TKey key;
    const char* browserName;
};
inline constexpr TKeyCode KeyCodes[] = {
    {37, TKey::vkLeft, "ArrowLeft"},
    {38, TKey::vkUp, "ArrowUp"},
    {39, TKey::vkRight, "ArrowRight"},
    {40, TKey::vkDown, "ArrowDown"},
    {9, TKey::vkTab, "Tab"},
    {13, TKey::vkReturn, "Enter"},
    {32, TKey::vkSpace, " "},
    {27, TKey::vkEscape, "Escape"},
    {66, TKey::vkB, "b"},
    {82, TKey::vkR, "r"},
    {85, TKey::vkU, "u"},
};

// The usual undo and redo with Ctrl, which every front end takes as the keys U and Shift+U: Ctrl
// with letter (Shift held or not) is key (with Shift or not).
struct TCtrlShortcut {
    char letter;
    bool shift;
    TKey key;
    bool keyShift;
};
inline constexpr TCtrlShortcut CtrlShortcuts[] = {
    {'z', false, TKey::vkU, false},
    {'z', true, TKey::vkU, true},
    {'y', false, TKey::vkU, true},
};

// Where key stands in KeyCodes; -1 when browsers cannot give it.
constexpr int KeyCodeIndex(TKey key) {
    for (int i = 0; i < static_cast<int>(std::size(KeyCodes)); ++i)
        if (KeyCodes[i].key == key) return i;
    return -1;
}

constexpr std::optional<TKey> KeyOfCode(int code) {
    for (const TKeyCode& k : KeyCodes)
        if (k.code == code) return k.key;
    return std::nullopt;
}

// A key a script can name, a browser can give too.
static_assert([] {
    for (const TKeyName& k : KeyNames)
        if (KeyCodeIndex(k.key) < 0) return false;
    return true;
}());
