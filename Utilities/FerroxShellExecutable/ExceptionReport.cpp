#include "ExceptionReport.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "ReportRules.h"
#include "ShellLogger.h"
#include "Win32Handle.h"

namespace {

// The report belongs to the application's source file.
const char kSourceFile[] = "Utilities\\FerroxShellExecutable\\FerxExec.cpp";
const char kNotAvailable[] = "Not Available";
const size_t kReportModuleChars = 128;
const UINT kReportExitCode = static_cast<UINT>(-1);

void Out(const char* text)
{
    OutputDebugStringA(text);
}

void OutFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
void OutFormat(const char* format, ...)
{
    char text[MAX_PATH + 64];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Out(text);
}

bool Readable(const MEMORY_BASIC_INFORMATION& region)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return region.State == MEM_COMMIT && (region.Protect & readable) && !(region.Protect & PAGE_GUARD);
}

// The loaded module whose image holds the address, or nullptr: the allocation
// base of the address's region, when that region belongs to an image.
HMODULE ImageOf(const void* address)
{
    MEMORY_BASIC_INFORMATION region = {};
    if (!VirtualQuery(address, &region, sizeof region) || !region.AllocationBase || region.Type != MEM_IMAGE)
        return nullptr;
    return static_cast<HMODULE>(region.AllocationBase);
}

uint32_t RvaOf(const void* address, HMODULE module)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(module));
}

// The section and offset of the address read from the module's file.
bool LogicalAddressFromFile(const char* path, uint32_t rva, ImageSectionHit* hit)
{
    // Read sharing allowed: another reader of the file must not cost the report its address.
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size == 0) return false;
    UniqueHandle mapping(CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return false;
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view.get()) return false;
    return FindImageSection(static_cast<const uint8_t*>(view.get()), size, rva, hit);
}

// The section and offset of the address read from the module's headers in memory.
bool LogicalAddressInMemory(HMODULE module, uint32_t rva, ImageSectionHit* hit)
{
    MEMORY_BASIC_INFORMATION headers = {};
    if (!VirtualQuery(module, &headers, sizeof headers) || !Readable(headers)) return false;
    size_t readable = headers.RegionSize - (reinterpret_cast<uintptr_t>(module) -
                                            reinterpret_cast<uintptr_t>(headers.BaseAddress));
    return FindImageSection(reinterpret_cast<const uint8_t*>(module), readable, rva, hit);
}

// "  %04X:%08X %s\n": section, offset and module of a code address of the walk.
void WriteFrameLine(uintptr_t address)
{
    const void* code = reinterpret_cast<const void*>(address);
    char module[MAX_PATH] = "";
    ImageSectionHit hit = {0, 0};
    if (HMODULE image = ImageOf(code)) {
        if (!GetModuleFileNameA(image, module, sizeof module)) module[0] = '\0';
        if (!LogicalAddressInMemory(image, RvaOf(code, image), &hit)) hit = {0, 0};
    }
    OutFormat("  %04X:%08X %s\n", hit.section, static_cast<unsigned>(hit.offset), module);
}

// Why the walk cannot go on to `next` from `current`, or nullptr.
const char* StopReason(const DWORD* next, const DWORD* current)
{
    if (reinterpret_cast<uintptr_t>(next) & 3) return " ... not DWORD aligned\n";
    if (reinterpret_cast<uintptr_t>(next) <= reinterpret_cast<uintptr_t>(current)) return " ... end\n";
    if (IsBadWritePtr(const_cast<DWORD*>(next), 2 * sizeof(DWORD))) return " ... IsBadWritePtr\n";
    return nullptr;
}

// Follows the saved frame pointers from the faulting frame: each frame holds
// the caller's frame pointer, and above it the return address.
void WriteStackTrace(const CONTEXT& context)
{
    Out("Stack Trace\n");
    Out("  Logical addr  Module\n");
    uintptr_t address = context.Eip;
    const DWORD* frame = reinterpret_cast<const DWORD*>(static_cast<uintptr_t>(context.Ebp));
    WriteFrameLine(address);
    // The faulting frame is checked like every later one before it is read:
    // code without a frame pointer may have left anything in the register.
    if (const char* stop = StopReason(frame, nullptr)) {
        Out(stop);
        return;
    }
    for (;;) {
        address = frame[1];
        const DWORD* next = reinterpret_cast<const DWORD*>(static_cast<uintptr_t>(frame[0]));
        if (const char* stop = StopReason(next, frame)) {
            Out(stop);
            return;
        }
        frame = next;
        WriteFrameLine(address);
    }
}

void WriteReport(const EXCEPTION_POINTERS& pointers)
{
    const EXCEPTION_RECORD& record = *pointers.ExceptionRecord;
    Out("\n");
    Out("===================================\n");
    Out("FerxExec Unhandled Exception Filter\n");
    Out("Exception details\n");
    OutFormat("  Code     %X : %s\n", static_cast<unsigned>(record.ExceptionCode),
              ExceptionCodeName(record.ExceptionCode));
    OutFormat("  Flags    %X\n", static_cast<unsigned>(record.ExceptionFlags));
    OutFormat("  Address  %X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(record.ExceptionAddress)));

    char module[kReportModuleChars] = "Not Available";
    char rva[32] = "Not Available";
    const char* function = kNotAvailable;
    const char* line = kNotAvailable;
    if (HMODULE image = ImageOf(record.ExceptionAddress)) {
        char path[MAX_PATH] = "";
        if (GetModuleFileNameA(image, path, sizeof path)) {
            std::snprintf(module, sizeof module, "%s", path);
            ImageSectionHit hit;
            if (LogicalAddressFromFile(path, RvaOf(record.ExceptionAddress, image), &hit))
                FormatLogicalAddress(hit, rva, sizeof rva);
        }
    }
    OutFormat("  Module   %s\n", module);
    OutFormat("  RVA      %s\n", rva);
    OutFormat("  Function %s\n", function);
    OutFormat("  Line #   %s\n\n", line);
    OutFormat("  RVA      %s\n", rva);

    try {
        SHELL_LOG(kSourceFile, SHELL_ERROR, "FerxExec Unhandled Exception at RVA %s", rva);
    } catch (...) {
        // The report goes on to its end whatever the logger does.
    }
    if (pointers.ContextRecord) WriteStackTrace(*pointers.ContextRecord);
}

// A C++ exception that nothing caught goes to the report directly, from where
// it was thrown (no handler was found, so the stack has not been unwound).
// It is not raised as a structured exception: one raised inside a window
// procedure that the system called back would be swallowed by the callback's
// own handler on some systems, and the program would run on. The logger's
// FATAL throw carries the last-error value.
[[noreturn]] void ReportUncaughtThrow()
{
    DWORD code = kCppExceptionCode;
    ULONG_PTR argument = 0;
    if (std::current_exception()) {
        try {
            throw;
        } catch (unsigned long value) {
            code = kFatalLogExceptionCode;
            argument = value;
        } catch (...) {
        }
    }
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(context.Eip));
    record.NumberParameters = 1;
    record.ExceptionInformation[0] = argument;
    EXCEPTION_POINTERS pointers = {&record, &context};
    FerxUnhandledExceptionFilter(&pointers);
    std::abort();
}

} // namespace

LONG WINAPI FerxUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers)
{
    // An exception inside the report must not come back here.
    SetUnhandledExceptionFilter(nullptr);
    if (pointers && pointers->ExceptionRecord) WriteReport(*pointers);
    // Nothing of the process is trusted any more, its libraries' shutdown
    // code included: it ends here, at once.
    TerminateProcess(GetCurrentProcess(), kReportExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void InstallExceptionReport()
{
    SetUnhandledExceptionFilter(FerxUnhandledExceptionFilter);
    std::set_terminate(ReportUncaughtThrow);
}
