#include "PowerCutKey.h"

#include "KeyFileCheck.h"
#include "PowerCutFiles.h"
#include "ThreadStore.h"

namespace {

const char kSub[] = "Cut";
const char kKey[] = "Loop";
const int  kPads = 6;

// Texts whose lengths change from round to round, so that the files cross
// 512-byte boundaries at different places and shrink as often as they grow.
std::string TextOf(unsigned long n, char first, unsigned long spread)
{
    std::string text = "n=" + std::to_string(n) + ";";
    text.append(1 + (n * 131) % spread, static_cast<char>(first + n % 26));
    return text;
}

bool WriteRound(unsigned long n)
{
    for (int k = 0; k < kPads; ++k) {
        std::string name = "Pad" + std::to_string(k);
        if (PersistDW(name.c_str(), n * (k + 1), -1) == PERS_FAILED) return false;
    }
    return PersistString("Head", TextOf(n, 'a', 1000).c_str(), -1) != PERS_FAILED &&
           PersistString("Tail", TextOf(n, 'A', 700).c_str(), -1) != PERS_FAILED &&
           PersistDW("Seq", n, -1) != PERS_FAILED;
}

// True when the current key holds one round's values, the empty key being
// round 0.
bool ReadRound(unsigned long* n, std::string* why)
{
    static char buffer[1100];
    unsigned long seq = 0;
    if (GetPersistedDW("Seq", &seq) != PERS_SUCCESS) {
        unsigned long pad = 0;
        *n = 0;
        if (GetPersistedDW("Pad0", &pad) == PERS_FAILED &&
            GetPersistedString("Head", sizeof buffer, buffer, nullptr) == PERS_FAILED)
            return true;
        *why = "values without Seq";
        return false;
    }
    *n = seq;
    for (int k = 0; k < kPads; ++k) {
        std::string name = "Pad" + std::to_string(k);
        unsigned long v = 0;
        if (GetPersistedDW(name.c_str(), &v) != PERS_SUCCESS || v != seq * (k + 1)) {
            *why = name + " = " + std::to_string(v) + " in round " + std::to_string(seq);
            return false;
        }
    }
    if (GetPersistedString("Head", sizeof buffer, buffer, nullptr) != PERS_SUCCESS ||
        TextOf(seq, 'a', 1000) != buffer ||
        GetPersistedString("Tail", sizeof buffer, buffer, nullptr) != PERS_SUCCESS ||
        TextOf(seq, 'A', 700) != buffer) {
        *why = "a text of another round in round " + std::to_string(seq);
        return false;
    }
    return true;
}

} // namespace

CPowerCutKey::CPowerCutKey()
    : m_pri(m_dir.Path() + "\\" + kSub + "\\" + kKey + ".pri"),
      m_sec(m_dir.Path() + "\\" + kSub + "\\" + kKey + ".sec")
{
    // The secondary on a drive of its own, as on a unit: two volumes whose
    // changes of names keep no order between them.
    std::string backup = m_dir.Path();
    if (DriveExists('e') && m_dir.Path()[1] == ':') {
        backup = m_dir.OnDrive('e');
        m_backupDrive.Set("E");
        m_bTwoVolumes = CreateDirectoryA(backup.c_str(), nullptr) &&
                        CreateDirectoryA((backup + "\\" + kSub).c_str(), nullptr);
        m_sec = backup + "\\" + kSub + "\\" + kKey + ".sec";
    } else {
        m_backupDrive.Remove();
    }
    m_bReady = SetPersistBasePath(m_dir.Path().c_str()) &&
               CreateDirectoryA((m_dir.Path() + "\\" + kSub).c_str(), nullptr) &&
               (m_bTwoVolumes || backup == m_dir.Path());
    m_names = {m_pri, m_sec};
}

powercut::Image CPowerCutKey::Saved(unsigned long n)
{
    std::string why;
    if (!PutImage(powercut::Image(), m_names, &why)) ADD_FAILURE() << why;
    if (OpenPersistKey(kSub, kKey, -1) == PERS_FAILED || !WriteRound(n) || ClosePersistKey(-1) == PERS_FAILED)
        ADD_FAILURE() << "round " << n << " not saved: error " << GetLastError();
    DiscardThreadState();
    return powercut::Image{{m_pri, ReadFileBytes(m_pri)}, {m_sec, ReadFileBytes(m_sec)}};
}

PowerCutSession CPowerCutKey::Run(const powercut::Image& image, int rounds)
{
    PowerCutSession session(image);
    if (!PutImage(image, m_names, &session.why)) return session;
    {
        CPowerCutRecorder recorder(session.journal);
        session.openResult = OpenPersistKey(kSub, kKey, -1);
        session.openDetail = GetLastError();
        if (session.openResult != PERS_FAILED) session.valuesOk = ReadRound(&session.shown, &session.why);
        else session.why = "the open failed";

        // The open repaired whatever it found: both files valid and equal.
        std::string primary = ReadFileBytes(m_pri);
        keycheck::ParsedKey parsed = keycheck::Parse(primary);
        session.filesOk = parsed.valid && primary == ReadFileBytes(m_sec);
        if (!session.filesOk) session.why += " files after the open: " + (parsed.valid ? "unequal" : parsed.why);
        ClosePersistKey(-1);

        unsigned long n = session.valuesOk ? session.shown : 0;
        for (int r = 0; r < rounds; ++r) {
            RoundMark mark{++n, session.journal.Ops().size(), 0, PERS_FAILED};
            if (OpenPersistKey(kSub, kKey, -1) != PERS_FAILED && WriteRound(n)) mark.closeResult = ClosePersistKey(-1);
            mark.closeEnd = session.journal.Ops().size();
            session.rounds.push_back(mark);
        }
        // As a thread's end would: the next open reads the files again.
        DiscardThreadState();
    }
    m_names.insert(session.journal.Names().begin(), session.journal.Names().end());
    return session;
}

unsigned long CPowerCutKey::ConfirmedAt(const PowerCutSession& session, size_t cut)
{
    unsigned long confirmed = session.valuesOk ? session.shown : 0;
    for (const RoundMark& mark : session.rounds)
        if (mark.closeResult != PERS_FAILED && mark.closeEnd <= cut) confirmed = mark.round;
    return confirmed;
}
