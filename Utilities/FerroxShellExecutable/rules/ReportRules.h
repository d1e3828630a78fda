// The crash report's byte-level rules: which section of a module image holds
// an address, the logical-address text, and the names of exception codes.
// No windows.h: the image is read as bytes, every offset checked against them.
#pragma once

#include <cstddef>
#include <cstdint>

// The code the report sees for a FATAL log message (the logger's throw of
// the last-error value), and for any other C++ exception nothing caught.
const uint32_t kFatalLogExceptionCode = 0xE0DB0004u;
const uint32_t kCppExceptionCode = 0xE06D7363u;

struct ImageSectionHit {
    unsigned section;   // counted from 1 in the order of the section table
    uint32_t offset;    // from the section's start
};

// Finds the first section of a module image (its headers as bytes: a file
// mapped whole, or the header page of a loaded module) that contains rva:
// at least the section's virtual address and at most that plus the larger of
// its raw-data and virtual sizes. False when the headers are not a valid
// image within `size` bytes or no section contains rva.
bool FindImageSection(const uint8_t* image, size_t size, uint32_t rva, ImageSectionHit* hit);

// "%03d:%08x" (section, offset) into out, cut to fit.
void FormatLogicalAddress(const ImageSectionHit& hit, char* out, size_t size);

// The name of a common exception code; "" for others.
const char* ExceptionCodeName(uint32_t code);
