#pragma once

#include "app/command_line.h"

// Converts with the C runtime's checked wcstombs_s in the current locale.
class CrtWideToNarrow : public WideToNarrow {
public:
    std::size_t narrowSize(const wchar_t* text) const override;
    void convert(const wchar_t* text, char* buffer, std::size_t bufferSize) const override;
};
