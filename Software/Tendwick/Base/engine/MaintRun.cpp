// The maintenance run: one press of the Save or the Restore key, from the
// privileges and the paths to the finished save with its disabling, the
// restore onto another unit, or the undo on the source unit.
#include "RunMaint.h"

#include "EngineWin32.h"
#include "IdentityRules.h"
#include "Retenta.h"
#include "TextFields.h"

#include <cstring>

namespace {

const uint32_t kSaveKey = 0x70;
const uint32_t kRestoreKey = 0x72;
const int kStoreTimeout = 1000;
const size_t kIdentityChars = 128;
// The catalogue's rows: one progress step each.
const int kProgressSteps = 59;

// Closes the key handed out by GetUpdatePath when a flow raises; the normal
// end closes it itself and reports a failure to close.
class RunKey {
public:
    RunKey() = default;
    ~RunKey() { if (m_key) RegCloseKey(m_key); }
    RunKey(const RunKey&) = delete;
    RunKey& operator=(const RunKey&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }
    void Close()
    {
        HKEY key = m_key;
        m_key = nullptr;
        LONG error = key ? RegCloseKey(key) : ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) CFileException::ThrowOsError(error);
    }

private:
    HKEY m_key = nullptr;
};

} // namespace

void CRunMaint::MarkRestored()
{
    ClearRemovableMedia();
    PersistOneString("ShellPersist", IsLegacyShellPart() ? "SystemData" : "ShellConfig", kStoreTimeout, "Ferrox",
                     "RESTORED");
}

void CRunMaint::UndoSave()
{
    if (IsLegacyShellPart())
        UndoSaveMenu();
    else
        UndoSaveShell();
    ClearRemovableMedia();
}

int CRunMaint::MaintRun(RunWindow* window, uint32_t keyCode)
{
    if (window) m_pOwner = window;
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    RunKey key;

    EnableBackupPrivileges();
    GetUpdatePath(media, sizeof(media), persist, sizeof(persist), key.out());

    char partText[kIdentityChars] = {};
    char serial[kIdentityChars] = {};
    // Without a real serial-number source the keys do nothing at all.
    if (!GetSwPartNum(partText, serial, sizeof(serial))) return 0;

    m_pOwner->SetProgressRange(0, kProgressSteps);
    int result = 0;
    if (keyCode == kSaveKey) {
        if (m_bSaveAllowed) {
            m_pOwner->SetDetailText("", 0);
            m_pOwner->SetNoteText("", 0);
            int saved = SaveConfig(media, persist, key.get(), partText, serial);
            if (saved == 1) {
                m_pOwner->SetStatusText("Configuration Saved", 0);
                m_pOwner->SetDetailText("", 0);
                m_pOwner->SetNoteText("", 0);
                FinishSave();
                PumpMessages(500);
                result = 1;
            } else if (saved == 6) {
                m_pOwner->SetStatusText("Save of configuration files to removable media could not be verified", 0);
                m_pOwner->SetDetailText("Save and Restore cannot continue", 0);
                m_pOwner->SetNoteText("Press Cancel to Exit", 0);
                PumpMessages(500);
                result = 2;
            }
        }
    } else if (keyCode == kRestoreKey) {
        if (m_bRestoreAllowed && AreThereSavedFiles()) {
            if (m_nRestoreStage == 0) {
                if (m_pOwner->ShowConfirm("Restore will copy saved data to this unit and clear it from the "
                                          "removable media. Continue restore?",
                                          false))
                    m_nRestoreStage = 1;
            } else if (m_nRestoreStage == 1) {
                char part[kIdentityChars] = {};
                int revision = -1;
                ScanPartNumText(partText, part, sizeof(part), &revision);
                m_pOwner->SetKeyMask(0);
                m_pOwner->SetDetailText("", 0);
                m_pOwner->SetNoteText("", 0);

                char savedPart[SAVED_FIELD_OUT_SIZE] = {};
                int savedRevision = -1;
                char savedSerial[SAVED_FIELD_OUT_SIZE] = {};
                ReadSavedPartNum(savedPart, &savedRevision, savedSerial);

                // The same test as IsSameUnitRestore, on the identity read here.
                bool otherUnit = !PrefixMatch(savedSerial, serial) && IsValidSerialNum(serial);
                bool sameUnit = !otherUnit && IsUnitDisabled() && PrefixMatch(savedPart, part) &&
                                savedRevision == revision;
                if (sameUnit) {
                    UndoSave();
                    m_pOwner->SetStatusText("Configuration Restored", 0);
                    m_pOwner->SetDetailText("", 0);
                    m_pOwner->SetNoteText("", 0);
                    PumpMessages(500);
                    result = 1;
                } else if (RestoreConfig(media, persist, key.get()) == 1) {
                    m_pOwner->SetStatusText("Configuration Restored", 0);
                    m_pOwner->SetDetailText("", 0);
                    m_pOwner->SetNoteText("", 0);
                    MarkRestored();
                    PumpMessages(500);
                    result = 1;
                }
            }
        }
    }

    key.Close();
    m_pOwner->RequestRepaint();
    return result;
}
