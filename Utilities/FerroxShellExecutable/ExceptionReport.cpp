#include "ExceptionReport.h"

#include <cinttypes>
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

// One slot of a stack frame: the saved frame pointer and the return address
// are pointer-sized, 4 bytes on the unit's 32-bit build and 8 on x86_64.
using FrameSlot = uintptr_t;

// Why the walk cannot go on to `next` from `current`, or nullptr.
const char* StopReason(const FrameSlot* next, const FrameSlot* current)
{
    if (reinterpret_cast<uintptr_t>(next) & (sizeof(FrameSlot) - 1)) return " ... not DWORD aligned\n";
    if (reinterpret_cast<uintptr_t>(next) <= reinterpret_cast<uintptr_t>(current)) return " ... end\n";
    if (IsBadWritePtr(const_cast<FrameSlot*>(next), 2 * sizeof(FrameSlot))) return " ... IsBadWritePtr\n";
    return nullptr;
}

#if defined(__x86_64__) || defined(_M_X64)

uintptr_t ProgramCounter(const CONTEXT& context) { return context.Rip; }

// True when [address, address + size) lies on this thread's stack: the
// report runs on the thread that faulted, and a smashed frame register must
// not send the unwind to read anywhere else.
bool OnThisStack(uintptr_t address, size_t size)
{
    // The header's inline read of the thread block through gs trips the
    // compiler's bounds warning; the read itself is the documented one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
#pragma GCC diagnostic pop
    const uintptr_t limit = reinterpret_cast<uintptr_t>(tib->StackLimit);
    const uintptr_t base = reinterpret_cast<uintptr_t>(tib->StackBase);
    return address >= limit && address < base && size <= base - address;
}

// The frame register a function's unwind data restores the stack from
// (0 for none; 5 is Rbp, the one the compiler uses), read from the image's
// unwind information.
unsigned FrameRegisterOf(DWORD64 imageBase, const RUNTIME_FUNCTION& entry)
{
    const BYTE* info = reinterpret_cast<const BYTE*>(imageBase + entry.UnwindData);
    return info[3] & 0x0F;
}

// On x86_64 a frame pointer need not point at the caller's saved one (the
// compiler may set it anywhere in the frame, and leaf functions keep none),
// so the walk unwinds each frame by the image's unwind tables from Rip and
// Rsp; a function without an entry there is a leaf whose return address lies
// at Rsp. Each step must move up the stack, as the saved frame pointers do,
// and every stack the unwind would read must be this thread's.
void WalkFrames(const CONTEXT& faultContext)
{
    const int kMaxFrames = 256;
    CONTEXT context = faultContext;
    WriteFrameLine(context.Rip);
    for (int depth = 0; depth < kMaxFrames; ++depth) {
        const FrameSlot* stack = reinterpret_cast<const FrameSlot*>(context.Rsp);
        if (const char* stop = StopReason(stack, nullptr)) {
            Out(stop);
            return;
        }
        if (!OnThisStack(context.Rsp, 2 * sizeof(FrameSlot))) {
            Out(" ... IsBadWritePtr\n");
            return;
        }
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        // CONTEXT keeps Rax to R15 in the unwind codes' register order.
        const unsigned frameRegister = entry ? FrameRegisterOf(imageBase, *entry) : 0;
        if (frameRegister != 0 && !OnThisStack((&context.Rax)[frameRegister], sizeof(FrameSlot))) {
            Out(" ... IsBadWritePtr\n");
            return;
        }
        if (entry) {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, entry, &context, &handlerData,
                             &establisher, nullptr);
        } else {
            context.Rip = stack[0];
            context.Rsp += sizeof(FrameSlot);
        }
        if (!context.Rip || context.Rsp <= reinterpret_cast<uintptr_t>(stack)) {
            Out(" ... end\n");
            return;
        }
        WriteFrameLine(context.Rip);
    }
    Out(" ... end\n");
}

#else

uintptr_t ProgramCounter(const CONTEXT& context) { return context.Eip; }

// Follows the saved frame pointers from the faulting frame: each frame holds
// the caller's frame pointer, and above it the return address.
void WalkFrames(const CONTEXT& context)
{
    uintptr_t address = context.Eip;
    const FrameSlot* frame = reinterpret_cast<const FrameSlot*>(static_cast<uintptr_t>(context.Ebp));
    WriteFrameLine(address);
    // The faulting frame is checked like every later one before it is read:
    // code without a frame pointer may have left anything in the register.
    if (const char* stop = StopReason(frame, nullptr)) {
        Out(stop);
        return;
    }
    for (;;) {
        address = frame[1];
        const FrameSlot* next = reinterpret_cast<const FrameSlot*>(frame[0]);
        if (const char* stop = StopReason(next, frame)) {
            Out(stop);
            return;
        }
        frame = next;
        WriteFrameLine(address);
    }
}

#endif

void WriteStackTrace(const CONTEXT& context)
{
    Out("Stack Trace\n");
    Out("  Logical addr  Module\n");
    WalkFrames(context);
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
    OutFormat("  Address  %" PRIXPTR "\n", reinterpret_cast<uintptr_t>(record.ExceptionAddress));

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

// The codes under which the x86_64 runtime raises a C++ throw and its unwind
// ("GCC" with 0x20, 0x21 and 0x22 in the top byte). The 32-bit runtime
// unwinds by tables and raises nothing.
bool IsGccThrowInFlight(const EXCEPTION_RECORD& record)
{
    const DWORD code = record.ExceptionCode;
    const bool gcc = code == 0x20474343u || code == 0x21474343u || code == 0x22474343u;
    return gcc && !(record.ExceptionFlags & EXCEPTION_NONCONTINUABLE);
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
    record.ExceptionAddress = reinterpret_cast<void*>(ProgramCounter(context));
    record.NumberParameters = 1;
    record.ExceptionInformation[0] = argument;
    EXCEPTION_POINTERS pointers = {&record, &context};
    FerxUnhandledExceptionFilter(&pointers);
    std::abort();
}

} // namespace

LONG WINAPI FerxUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers)
{
    // On x86_64 a C++ throw travels as a structured exception, and one that
    // finds no handler reaches this filter before the runtime gives up on it.
    // The runtime expects it back (as its own start-up filter would do) and
    // then calls std::terminate, which reports it with its C++ details.
    if (pointers && pointers->ExceptionRecord && IsGccThrowInFlight(*pointers->ExceptionRecord))
        return EXCEPTION_CONTINUE_EXECUTION;
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
