// The keys a window's handler receives, whatever the keyboard or the front end: the arrows, Tab,
// the two that press, Escape and three letters. Shift goes beside the key.
#pragma once

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

// A key by the number browsers give it (KeyboardEvent.keyCode, Windows' virtual-key codes).
constexpr std::optional<TKey> KeyOfCode(int code) {
    switch (code) {
    case 37:
        return TKey::vkLeft;
    case 38:
        return TKey::vkUp;
    case 39:
        return TKey::vkRight;
    case 40:
        return TKey::vkDown;
    case 9:
        return TKey::vkTab;
    case 13:
        return TKey::vkReturn;
    case 32:
        return TKey::vkSpace;
    case 27:
        return TKey::vkEscape;
    case 66:
        return TKey::vkB;
    case 82:
        return TKey::vkR;
    case 85:
        return TKey::vkU;
    default:
        return std::nullopt;
    }
}
