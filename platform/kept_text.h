// TKeptText: one named text a program keeps between its runs, written whole or not at all. A
// front end gives its window one: a file in the user's data folder on the desktop (TKeptFile),
// the browser's storage in a page. Free of the game: what the text holds is the caller's.
#pragma once

#include <filesystem>
#include <string>

enum class TKeptRead { Absent, Read, Failed };

class TKeptText {
  public:
    virtual ~TKeptText() = default;
    // The kept text: Read with text set, Absent when nothing is kept, Failed with the reason in
    // error (one line) when something is there but cannot be read.
    virtual TKeptRead Read(std::string& text, std::string& error) = 0;
    // Replaces the kept text; after a failure the text kept before is still whole.
    virtual bool Write(const std::string& text, std::string& error) = 0;
    // Nothing is kept any more.
    virtual void Clear() = 0;
};

// The text in one file. A write goes to a temporary file in the same folder (made when missing)
// that then replaces the file, so a crash or a full disk never leaves half a text.
class TKeptFile : public TKeptText {
  public:
    explicit TKeptFile(std::filesystem::path path) : FPath(std::move(path)) {}
    TKeptRead Read(std::string& text, std::string& error) override;
    bool Write(const std::string& text, std::string& error) override;
    void Clear() override;
    const std::filesystem::path& Path() const { return FPath; }

  private:
    std::filesystem::path FPath;
};

// The folder where program keeps the user's data: $XDG_DATA_HOME/program, or
// ~/.local/share/program when that is unset or not absolute; on Windows
// %LOCALAPPDATA%\program. Empty when the environment names no such place.
std::filesystem::path UserDataFolder(const std::string& program);
