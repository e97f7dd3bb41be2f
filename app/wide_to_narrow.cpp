#include "app/wide_to_narrow.h"

#include <cstdlib>

std::size_t CrtWideToNarrow::narrowSize(const wchar_t* text) const {
    std::size_t size = 0;
    // A null destination with size 0 asks for the size, terminator included.
    if (wcstombs_s(&size, nullptr, 0, text, 0) != 0) {
        return 0;
    }
    return size;
}

void CrtWideToNarrow::convert(const wchar_t* text, char* buffer, std::size_t bufferSize) const {
    std::size_t converted = 0;
    wcstombs_s(&converted, buffer, bufferSize, text, bufferSize);
}
