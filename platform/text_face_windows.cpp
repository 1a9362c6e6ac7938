// The face on Windows: the named face's file in the Windows fonts folder, checked by the family
// names in the file, else the IPAGothic face installed beside the programs.
#include <windows.h>

#include <cstdio>
#include <new>

#include "platform/text_face.h"

#include FT_SYSTEM_H

const char* const FaceMissingMessage =
    "no Japanese fixed-pitch Gothic font found: neither MS Gothic in the Windows fonts folder "
    "nor fonts\\ipag.ttf beside the program; reinstall the game";

namespace {

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                            size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                            size);
    return out;
}

// The Windows folder, as %WINDIR% names it.
std::wstring WindowsFolder() {
    wchar_t buffer[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// The folder of the running program.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// FreeType reads the file through a wide-path handle: its own opening takes narrow paths in the
// system's code page, which cannot name every folder.
unsigned long ReadStream(FT_Stream stream, unsigned long offset, unsigned char* buffer,
                         unsigned long count) {
    FILE* file = static_cast<FILE*>(stream->descriptor.pointer);
    if (_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0) return count == 0 ? 1 : 0;
    return count == 0 ? 0 : static_cast<unsigned long>(std::fread(buffer, 1, count, file));
}

void CloseStream(FT_Stream stream) {
    std::fclose(static_cast<FILE*>(stream->descriptor.pointer));
    delete stream;
}

} // namespace

std::optional<TFaceFile> FindFaceFile(FT_Library library, const std::string& faceName) {
    // MS Gothic is the first face of this collection (MS UI Gothic and MS PGothic follow).
    std::vector<std::string> named;
    const std::wstring windows = WindowsFolder();
    if (!windows.empty()) named.push_back(Utf8(windows + L"\\Fonts\\msgothic.ttc"));
    const std::wstring program = ProgramFolder();
    const std::string fallback =
        program.empty() ? std::string() : Utf8(program + L"\\fonts\\ipag.ttf");
    return FindFaceInFiles(library, faceName, named, fallback);
}

FT_Error OpenFaceFile(FT_Library library, const TFaceFile& file, FT_Face* face) {
    FILE* handle = _wfopen(Wide(file.path).c_str(), L"rb");
    if (!handle) return FT_Err_Cannot_Open_Resource;
    __int64 size = -1;
    if (_fseeki64(handle, 0, SEEK_END) == 0) size = _ftelli64(handle);
    if (size <= 0 || size > 0x7FFFFFFF) {
        std::fclose(handle);
        return FT_Err_Cannot_Open_Stream;
    }
    FT_Stream stream = new (std::nothrow) FT_StreamRec{};
    if (!stream) {
        std::fclose(handle);
        return FT_Err_Out_Of_Memory;
    }
    stream->size = static_cast<unsigned long>(size);
    stream->descriptor.pointer = handle;
    stream->read = ReadStream;
    stream->close = CloseStream;
    FT_Open_Args args{};
    args.flags = FT_OPEN_STREAM;
    args.stream = stream;
    // FreeType closes the stream (CloseStream) with the face, or at once when opening fails.
    return FT_Open_Face(library, &args, file.index, face);
}
