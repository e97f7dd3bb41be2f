#include "app/command_line.h"

namespace {

// NOTE: the buffer is sized by the narrow form, not by the wide length: a
// character that needs several bytes in the code page would otherwise overflow
// a buffer of one byte per wide character, which the checked conversion
// answers by ending the process.
char* convertOne(const wchar_t* text, const WideToNarrow& converter, Allocate allocate) {
    const std::size_t size = converter.narrowSize(text);
    const std::size_t bufferSize = size > 0 ? size : 1;
    auto* buffer = static_cast<char*>(allocate(bufferSize));
    if (buffer == nullptr) {
        return nullptr;
    }
    buffer[0] = '\0';
    if (size > 0) {
        converter.convert(text, buffer, bufferSize);
    }
    return buffer;
}

} // namespace

NarrowArguments convertArguments(int wideCount, const wchar_t* const* wide,
                                 const WideToNarrow& converter, Allocate allocate) {
    NarrowArguments arguments;
    if (wideCount <= 0 || wide == nullptr) {
        return arguments;
    }
    auto* vector =
        static_cast<char**>(allocate(sizeof(char*) * static_cast<std::size_t>(wideCount)));
    if (vector == nullptr) {
        return arguments;
    }
    for (int i = 0; i < wideCount; ++i) {
        vector[i] = convertOne(wide[i], converter, allocate);
    }
    arguments.count = wideCount;
    arguments.vector = vector;
    return arguments;
}

void freeArguments(NarrowArguments& arguments) {
    if (arguments.count > 0 && arguments.vector != nullptr) {
        for (int i = 0; i < arguments.count; ++i) {
            std::free(arguments.vector[i]);
        }
        std::free(arguments.vector);
    }
    arguments = NarrowArguments{};
}
