// The restore plan's working parts, shared by the files that make the plan:
// the planner that reads and writes the unit's settings and keeps what
// changes, and the steps it is made of. Not for use outside the plan.
#pragma once

#include "EngineKeys.h"
#include "FerroxState.h"
#include "RestorePlan.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace restore_plan {

using keyfile::ValueType;


const size_t kKeyNameSize = 256;
// The engine's read buffers: the factory flag 17 bytes, the identity and
// Ferrox texts 100, the platform 17, the undo's settings 200, the serial
// number read at the end of a restore 50.
const size_t kFactoryFlagChars = 16;
const size_t kIdentityChars = 99;
const size_t kPlatformChars = 16;
const size_t kUndoValueChars = 199;
const size_t kWindowSerialChars = 49;
// The saved setting the undo looks up: it must fit 512 bytes whole.
const size_t kSavedSettingChars = 511;

const char kSavedShellConfig[] = "ShellPersist-ShellConfig.pri";
const char kSplashValue[] = "SplashNoticeBitmap";

inline std::string Lower(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

inline const char* KindWord(ImportKind kind)
{
    switch (kind) {
    case IMPORT_BOOL:     return "bool";
    case IMPORT_DWORD:    return "dword";
    case IMPORT_STRING:   return "string";
    case IMPORT_BAD_TYPE: break;
    }
    return "";
}

inline ValueType KindType(ImportKind kind)
{
    switch (kind) {
    case IMPORT_BOOL:     return ValueType::Bool;
    case IMPORT_DWORD:    return ValueType::Dword;
    case IMPORT_STRING:   return ValueType::String;
    case IMPORT_BAD_TYPE: break;
    }
    return ValueType::None;
}

inline bool SameValue(const KeyValue& a, const KeyValue& b)
{
    if (a.type != b.type) return false;
    if (a.type == ValueType::Dword) return keyfile::ParseDword(a.text.c_str()) == keyfile::ParseDword(b.text.c_str());
    return a.text == b.text;
}

template <typename T>
void AddOnce(std::vector<T>& list, const T& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// A value's state before the run's first write to it, and its last writer.
struct Touched {
    bool         bExisted = false;
    KeyValue     before;
    ChangeOrigin origin = BY_IMPORT;
    bool         bWritten = false;
};

class CPlanner {
public:
    CPlanner(const PlanInput& input, CUnitSettings& unit, CSavedMedia& media, RestorePlan& plan,
             bool report = true)
        : m_input(input), m_unit(unit), m_media(media), m_plan(plan), m_bReport(report) {}

    // Whether the plan is to be shown: then each value is read before it is
    // written, and each value a filter keeps; a plan carried out step by step
    // needs neither.
    bool Reports() const { return m_bReport; }

    PlannedKey& Key(const std::string& subdir, const std::string& key)
    {
        const std::string id = Lower(subdir + "\\" + key);
        auto found = m_index.find(id);
        if (found != m_index.end()) return m_plan.keys[found->second];
        m_plan.keys.push_back(PlannedKey());
        m_plan.keys.back().subdir = subdir;
        m_plan.keys.back().key = key;
        m_touched.emplace_back();
        m_index[id] = m_plan.keys.size() - 1;
        return m_plan.keys.back();
    }

    bool Read(const std::string& subdir, const std::string& key, const char* name, KeyValue* value)
    {
        Key(subdir, key);
        return m_unit.Read(subdir.c_str(), key.c_str(), name, value);
    }

    // A one-shot string read as the engine makes it: only a string value
    // that fits the caller's buffer whole counts as read.
    bool ReadString(const std::string& subdir, const std::string& key, const char* name, size_t maxChars,
                    std::string* text)
    {
        KeyValue value;
        if (!Read(subdir, key, name, &value) || value.type != ValueType::String || value.text.size() > maxChars)
            return false;
        *text = value.text;
        return true;
    }

    bool KeyOpens(const std::string& subdir, const std::string& key)
    {
        Key(subdir, key);
        return m_unit.KeyOpens(subdir.c_str(), key.c_str());
    }

    // Makes the write on the unit's settings and keeps what it changes.
    void Write(PlannedWrite& write)
    {
        PlannedKey& key = Key(write.subdir, write.key);
        if (write.kind == IMPORT_BAD_TYPE) {
            write.result = KEY_WRITE_NOT_OPEN;
            ++key.nBadTypes;
            return;
        }
        std::map<std::string, Touched>& touched = m_touched[m_index[Lower(write.subdir + "\\" + write.key)]];
        const std::string id = Lower(write.name);
        if (m_bReport && touched.find(id) == touched.end()) {
            Touched first;
            first.bExisted = m_unit.Read(write.subdir.c_str(), write.key.c_str(), write.name.c_str(), &first.before);
            touched[id] = first;
        }
        write.result = m_unit.Write(write.subdir.c_str(), write.key.c_str(), KindType(write.kind), write.name.c_str(),
                                    write.text.c_str(), write.number);
        if (write.result == KEY_WRITE_DONE) {
            touched[id].origin = write.origin;
            touched[id].bWritten = true;
            return;
        }
        for (const RefusedWrite& known : key.refused)
            if (known.name == write.name && known.reason == write.result) return;
        key.refused.push_back(RefusedWrite{write.name, write.type, write.text, write.result});
    }

    PlannedWrite MakeWrite(const char* subdir, const char* key, ImportKind kind, const char* name, const char* text,
                           uint32_t number, ChangeOrigin origin)
    {
        PlannedWrite write;
        write.subdir = subdir;
        write.key = key;
        write.name = name;
        write.kind = kind;
        write.type = KindWord(kind);
        write.text = text;
        write.number = number;
        write.origin = origin;
        Write(write);
        return write;
    }

    void WriteTo(std::vector<PlannedWrite>& list, const char* subdir, const char* key, ImportKind kind,
                 const char* name, const char* text, uint32_t number, ChangeOrigin origin)
    {
        list.push_back(MakeWrite(subdir, key, kind, name, text, number, origin));
    }

    // Each written value that ends up other than it began, in name order.
    void CollectChanges()
    {
        for (size_t i = 0; i < m_plan.keys.size(); ++i) {
            PlannedKey& key = m_plan.keys[i];
            for (const auto& entry : m_touched[i]) {
                const Touched& touched = entry.second;
                if (!touched.bWritten) continue;
                KeyValue after;
                if (!m_unit.Read(key.subdir.c_str(), key.key.c_str(), touched.before.name.empty()
                                                                         ? entry.first.c_str()
                                                                         : touched.before.name.c_str(),
                                 &after))
                    continue;
                if (touched.bExisted && SameValue(touched.before, after)) continue;
                ValueChange change;
                change.name = after.name;
                change.newType = ValueTypeWord(after.type);
                change.newText = after.text;
                change.bExisted = touched.bExisted;
                if (touched.bExisted) {
                    change.oldType = ValueTypeWord(touched.before.type);
                    change.oldText = touched.before.text;
                }
                change.origin = touched.origin;
                key.changes.push_back(change);
            }
        }
    }

    const PlanInput& Input() const { return m_input; }
    CUnitSettings&   Unit() { return m_unit; }
    CSavedMedia&     Media() { return m_media; }
    RestorePlan&     Plan() { return m_plan; }

private:
    const PlanInput&                            m_input;
    CUnitSettings&                              m_unit;
    CSavedMedia&                                m_media;
    RestorePlan&                                m_plan;
    std::map<std::string, size_t>               m_index;
    std::vector<std::map<std::string, Touched>> m_touched;   // per key, by lower-case name
    bool                                        m_bReport;
};

// The steps of a plan.
PlannedFile PlanFile(CPlanner& planner, const RestoreStep& step);
void        PlanKnob(CPlanner& planner, const std::string& persistRoot, bool forZR455);
void        PlanSerial(CPlanner& planner);
void        PlanShellUndo(CPlanner& planner);
void        PlanMenuUndo(CPlanner& planner);

} // namespace restore_plan
