// The page's kept text in localStorage, each call guarded: a browser may refuse the storage
// outright (blocked cookies, some private modes) or fill it.
#include "platform/web_kept_text.h"

#include <emscripten.h>

namespace {

// clang-format off
// The kept text's length in UTF-8 bytes; -1 when nothing is kept or the storage is refused.
EM_JS(int, StorageLength, (const char* name), {
    try {
        var text = localStorage.getItem(UTF8ToString(name));
        return text === null ? -1 : lengthBytesUTF8(text);
    } catch (e) {
        return -1;
    }
});
EM_JS(void, StorageCopy, (const char* name, char* out, int size), {
    try {
        stringToUTF8(localStorage.getItem(UTF8ToString(name)) || "", out, size);
    } catch (e) {
        stringToUTF8("", out, size);
    }
});
EM_JS(int, StorageWrite, (const char* name, const char* text), {
    try {
        localStorage.setItem(UTF8ToString(name), UTF8ToString(text));
        return 1;
    } catch (e) {
        return 0;
    }
});
EM_JS(void, StorageClear, (const char* name), {
    try {
        localStorage.removeItem(UTF8ToString(name));
    } catch (e) {
        // nothing kept, or nothing can be
    }
});
// clang-format on

} // namespace

TKeptRead TWebKeptText::Read(std::string& text, std::string& error) {
    (void)error;
    const int length = StorageLength(FName.c_str());
    if (length < 0) return TKeptRead::Absent;
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    StorageCopy(FName.c_str(), buffer.data(), length + 1);
    text.assign(buffer.c_str());
    return TKeptRead::Read;
}

bool TWebKeptText::Write(const std::string& text, std::string& error) {
    if (StorageWrite(FName.c_str(), text.c_str())) return true;
    error = "the browser's storage refused the game";
    return false;
}

void TWebKeptText::Clear() {
    StorageClear(FName.c_str());
}
