#pragma once

#include <cstddef>
#include <cstdlib>

// The narrow argument vector handed to appMain: count pointers, each to its own
// zero-terminated string; a slot whose allocation failed holds null.
struct NarrowArguments {
    int count = 0;
    char** vector = nullptr;
};

// Turns one wide string into the narrow (ANSI code page) form.
class WideToNarrow {
public:
    virtual ~WideToNarrow() = default;
    // Bytes the narrow form needs, terminator included; 0 when it has none.
    virtual std::size_t narrowSize(const wchar_t* text) const = 0;
    // Converts into a buffer of narrowSize(text) bytes.
    virtual void convert(const wchar_t* text, char* buffer, std::size_t bufferSize) const = 0;
};

using Allocate = void* (*)(std::size_t bytes);

// Converts the split wide command line. Allocation failures shrink the result
// instead of failing: no vector at all gives count 0, a failed element a null
// slot. Memory comes from `allocate` and is given back with std::free.
NarrowArguments convertArguments(int wideCount, const wchar_t* const* wide,
                                 const WideToNarrow& converter, Allocate allocate = std::malloc);

// Frees every non-null element and then the vector; leaves it empty.
void freeArguments(NarrowArguments& arguments);
