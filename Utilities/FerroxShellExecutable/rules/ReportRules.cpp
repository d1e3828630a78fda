#include "ReportRules.h"

#include <cstdio>

namespace {

// Offsets in the image headers.
const size_t kDosSignature = 0;         // "MZ"
const size_t kDosNewHeader = 0x3C;      // offset of the "PE\0\0" signature
const size_t kFileHeaderBytes = 20;
const size_t kSectionCountAt = 2;       // in the file header
const size_t kOptionalSizeAt = 16;      // in the file header
const size_t kSectionHeaderBytes = 40;
const size_t kVirtualSizeAt = 8;        // in a section header
const size_t kVirtualAddressAt = 12;
const size_t kRawSizeAt = 16;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// [offset, offset + length) lies within size, without overflow.
bool Within(uint64_t offset, uint64_t length, size_t size) { return offset <= size && length <= size - offset; }

struct CodeName {
    uint32_t code;
    const char* name;
};

const CodeName kCodeNames[] = {
    {0xC0000005u, "EXCEPTION_ACCESS_VIOLATION"},
    {0xC0000006u, "EXCEPTION_IN_PAGE_ERROR"},
    {0xC0000008u, "EXCEPTION_INVALID_HANDLE"},
    {0xC000001Du, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {0xC0000025u, "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
    {0xC0000026u, "EXCEPTION_INVALID_DISPOSITION"},
    {0xC000008Cu, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008Du, "EXCEPTION_FLT_DENORMAL_OPERAND"},
    {0xC000008Eu, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {0xC000008Fu, "EXCEPTION_FLT_INEXACT_RESULT"},
    {0xC0000090u, "EXCEPTION_FLT_INVALID_OPERATION"},
    {0xC0000091u, "EXCEPTION_FLT_OVERFLOW"},
    {0xC0000092u, "EXCEPTION_FLT_STACK_CHECK"},
    {0xC0000093u, "EXCEPTION_FLT_UNDERFLOW"},
    {0xC0000094u, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {0xC0000095u, "EXCEPTION_INT_OVERFLOW"},
    {0xC0000096u, "EXCEPTION_PRIV_INSTRUCTION"},
    {0xC00000FDu, "EXCEPTION_STACK_OVERFLOW"},
    {0xC0000409u, "STATUS_STACK_BUFFER_OVERRUN"},
    {0x80000001u, "EXCEPTION_GUARD_PAGE"},
    {0x80000002u, "EXCEPTION_DATATYPE_MISALIGNMENT"},
    {0x80000003u, "EXCEPTION_BREAKPOINT"},
    {0x80000004u, "EXCEPTION_SINGLE_STEP"},
    {0xE0DB0002u, "ZEL_ASSERT"},
    {kFatalLogExceptionCode, "FATAL log message"},
    {kCppExceptionCode, "C++ exception"},
};

} // namespace

bool FindImageSection(const uint8_t* image, size_t size, uint32_t rva, ImageSectionHit* hit)
{
    if (!image || !Within(kDosSignature, 2, size) || image[0] != 'M' || image[1] != 'Z') return false;
    if (!Within(kDosNewHeader, 4, size)) return false;
    uint64_t peAt = Read32(image + kDosNewHeader);
    if (!Within(peAt, 4 + kFileHeaderBytes, size)) return false;
    const uint8_t* pe = image + peAt;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
    const uint8_t* fileHeader = pe + 4;
    unsigned count = Read16(fileHeader + kSectionCountAt);
    uint64_t tableAt = peAt + 4 + kFileHeaderBytes + Read16(fileHeader + kOptionalSizeAt);
    for (unsigned i = 0; i < count; ++i) {
        uint64_t at = tableAt + static_cast<uint64_t>(i) * kSectionHeaderBytes;
        if (!Within(at, kSectionHeaderBytes, size)) return false;
        const uint8_t* section = image + at;
        uint64_t start = Read32(section + kVirtualAddressAt);
        uint32_t rawSize = Read32(section + kRawSizeAt);
        uint32_t virtualSize = Read32(section + kVirtualSizeAt);
        uint64_t end = start + (rawSize > virtualSize ? rawSize : virtualSize);
        if (rva >= start && rva <= end) {
            hit->section = i + 1;
            hit->offset = static_cast<uint32_t>(rva - start);
            return true;
        }
    }
    return false;
}

void FormatLogicalAddress(const ImageSectionHit& hit, char* out, size_t size)
{
    if (size == 0) return;
    std::snprintf(out, size, "%03d:%08x", static_cast<int>(hit.section), static_cast<unsigned>(hit.offset));
}

const char* ExceptionCodeName(uint32_t code)
{
    for (const CodeName& entry : kCodeNames)
        if (entry.code == code) return entry.name;
    return "";
}
