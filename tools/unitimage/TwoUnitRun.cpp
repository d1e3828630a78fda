// Drives the engine on the unit it runs in as the maintenance window would:
// the start-up checks, then Save (F1) or Restore (F3) presses until a run
// finishes, printing each message line, prompt and progress step as the
// technician would see them.
//
//   two_unit_run save [--serial S]   S: the number typed at the serial-number entry
//   two_unit_run restore
//   two_unit_run copy               plain copies of the catalogue files to the
//                                    media and back off it, timed (the yardstick of
//                                    a save and of a restore)
//   two_unit_run pause N             N of the pauses that the flows make between
//                                    files (PumpMessages(250)), timed
//
// Exit code: 0 the run finished (result 1), 2 the media could not be written
// (result 2), 1 nothing finished, 3 a file exception.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "IdentityRules.h"
#include "MessagePump.h"
#include "RunMaint.h"
#include "SavedFileCatalogue.h"

namespace {

const uint32_t KEY_SAVE = 0x70;
const uint32_t KEY_RESTORE = 0x72;
const int MAX_PRESSES = 4;

class TranscriptWindow : public RunWindow {
public:
    explicit TranscriptWindow(const char* serial) : m_serial(serial ? serial : "") {}
    void Attach(CRunMaint* engine) { m_pEngine = engine; }

    void SetStatusText(const char* text, int) override { Line(1, text); }
    void SetDetailText(const char* text, int) override { Line(2, text); }
    void SetNoteText(const char* text, int) override { Line(3, text); }

    void SetProgressRange(int low, int high) override
    {
        m_nLow = low;
        m_nHigh = high;
        m_nPos = low;
    }
    void StepProgress() override
    {
        ++m_nPos;
        if (m_nPos == m_nHigh || (m_nPos - m_nLow) % 10 == 0) std::printf("    [progress %d/%d]\n", m_nPos, m_nHigh);
    }
    bool ShowConfirm(const char* question, bool onF1) override
    {
        std::printf("    prompt: %s   [Confirm on %s]\n", question, onF1 ? "F1" : "F3");
        if (m_pEngine) m_pEngine->SetConfirmShown(true);
        return true;
    }
    void SetKeyMask(uint32_t mask) override
    {
        if (mask == 0) std::printf("    (keys blocked)\n");
    }
    void BeginSerialEntry(const char*) override { m_bEntryShown = false; }
    bool ShowSerialEntry() override
    {
        m_bEntryShown = true;
        std::printf("    serial-number entry shown\n");
        return true;
    }
    bool GetEnteredSerial(char* text, size_t size) override
    {
        if (!m_bEntryShown || m_serial.empty() || size == 0) return false;
        std::snprintf(text, size, "%s", m_serial.c_str());
        std::printf("    technician enters serial number %s\n", text);
        return true;
    }

private:
    // A line set again to the text it shows changes nothing on the screen.
    void Line(int number, const char* text)
    {
        std::string& shown = m_lines[number - 1];
        if (shown == (text ? text : "")) return;
        shown = text ? text : "";
        if (!shown.empty()) std::printf("    line %d: %s\n", number, shown.c_str());
    }

    std::string m_serial;
    std::string m_lines[3];
    CRunMaint* m_pEngine = nullptr;
    bool m_bEntryShown = false;
    int m_nLow = 0, m_nHigh = 0, m_nPos = 0;
};

// Copies each catalogue file of the unit to a scratch folder on the media
// with nothing else around it, then removes the copies.
int PlainCopy()
{
    CRunMaint engine(nullptr);
    char media[MAINT_ROOT_SIZE] = {}, persist[MAINT_ROOT_SIZE] = {};
    try {
        engine.GetUpdatePath(media, sizeof media, persist, sizeof persist);
    } catch (const CFileException& e) {
        std::printf("  file exception: error %ld\n", e.m_lOsError);
        return 3;
    }
    const std::string folder = std::string(media) + "PlainCopy\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    unsigned copied = 0;
    const DWORD started = GetTickCount();
    for (const SavedFileEntry& entry : SavedFileCatalogue) {
        std::string source = std::string(persist) + entry.pszDirectory + "\\" + entry.pszFile;
        if (CopyFileA(source.c_str(), (folder + entry.pszMediaName).c_str(), FALSE)) ++copied;
    }
    const DWORD took = GetTickCount() - started;
    // And back onto the unit, beside its store rather than into it.
    const std::string back = std::string(persist) + "PlainCopyBack\\";
    CreateDirectoryA(back.c_str(), nullptr);
    unsigned copiedBack = 0;
    const DWORD startedBack = GetTickCount();
    for (const SavedFileEntry& entry : SavedFileCatalogue) {
        if (CopyFileA((folder + entry.pszMediaName).c_str(), (back + entry.pszMediaName).c_str(), FALSE))
            ++copiedBack;
    }
    const DWORD tookBack = GetTickCount() - startedBack;
    for (const SavedFileEntry& entry : SavedFileCatalogue) {
        DeleteFileA((folder + entry.pszMediaName).c_str());
        DeleteFileA((back + entry.pszMediaName).c_str());
    }
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(back.c_str());
    std::printf("  plain copy of %u catalogue files to the media: %lu ms\n", copied, took);
    std::printf("  plain copy of %u catalogue files back from the media: %lu ms\n", copiedBack, tookBack);
    return copied == SAVED_FILE_COUNT && copiedBack == SAVED_FILE_COUNT ? 0 : 1;
}

// The pauses alone: what a flow spends letting the window paint between files.
int PauseCost(int count)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) PumpMessagesFor(250);
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("  %d pauses (PumpMessages(250)): %.0f ms, %.1f ms each\n", count, ms, count > 0 ? ms / count : 0.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool save = argc > 1 && std::strcmp(argv[1], "save") == 0;
    const bool restore = argc > 1 && std::strcmp(argv[1], "restore") == 0;
    const char* serial = (argc > 3 && std::strcmp(argv[2], "--serial") == 0) ? argv[3] : nullptr;
    if (argc > 1 && std::strcmp(argv[1], "copy") == 0) return PlainCopy();
    if (argc > 2 && std::strcmp(argv[1], "pause") == 0) {
        const int count = std::atoi(argv[2]);
        return count >= 0 && count <= 10000 ? PauseCost(count) : 1;
    }
    if (!save && !restore) {
        std::printf("usage: two_unit_run save [--serial S] | restore | copy | pause N\n");
        return 1;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);

    TranscriptWindow window(serial);
    CRunMaint engine(&window);
    window.Attach(&engine);

    // What the window does when it opens. The transcript names the save on
    // the media whether or not it counts as one (its identity record alone).
    const UnitSurvey& survey = engine.Survey();
    char savedPart[SAVED_FIELD_OUT_SIZE] = {}, savedSerial[SAVED_FIELD_OUT_SIZE] = {};
    int savedRevision = -1;
    engine.ReadSavedPartNum(savedPart, &savedRevision, savedSerial);
    std::printf("  unit: serial %s, %s; save %s, restore %s%s%s\n", survey.unit.serial.c_str(),
                survey.unit.partText.c_str(), survey.bSaveAllowed ? "allowed" : "not allowed",
                survey.bRestoreAllowed ? "allowed" : "not allowed", *savedSerial ? ", media holds the save of " : "",
                savedSerial);

    MaintResult result = MaintResult::Pending;
    for (int press = 1; press <= MAX_PRESSES; ++press) {
        std::printf("  press %s:\n", save ? "F1 (Save)" : "F3 (Restore)");
        const DWORD started = GetTickCount();
        try {
            result = engine.MaintRun(&window, save ? KEY_SAVE : KEY_RESTORE);
        } catch (const CFileException& e) {
            char text[256] = {};
            e.GetErrorMessage(text, sizeof text);
            std::printf("  file exception: cause %d, error %ld, %s\n", e.m_cause, e.m_lOsError, text);
            return 3;
        }
        std::printf("  -> MaintRun result %d (%lu ms)\n", static_cast<int>(result), GetTickCount() - started);
        if (result != MaintResult::Pending) break;
    }
    return result == MaintResult::Done ? 0 : result == MaintResult::NotWritten ? 2 : 1;
}
