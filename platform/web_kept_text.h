// TWebKeptText: the text a page keeps between its visits, in the browser's storage for the
// page's site (localStorage) under one name. A browser that refuses the storage, or whose
// storage is full, keeps nothing: reads find nothing, writes fail, and the caller plays on.
#pragma once

#include <string>

#include "platform/kept_text.h"

class TWebKeptText : public TKeptText {
  public:
    explicit TWebKeptText(std::string name) : FName(std::move(name)) {}
    TKeptRead Read(std::string& text, std::string& error) override;
    bool Write(const std::string& text, std::string& error) override;
    void Clear() override;

  private:
    std::string FName;
};
