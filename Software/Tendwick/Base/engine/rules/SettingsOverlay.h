// Settings that are only read, with a plan's writes kept in front of them: the
// engine reads its store as it stands and writes nothing until it carries the
// plan out. A write is refused as the store refuses it by name, text and type;
// a key's room is left to the store. No windows.h.
#pragma once

#include "UnitSettings.h"

#include <map>
#include <string>

class CSettingsOverlay : public CUnitSettings {
public:
    bool KeyOpens(const char* subdir, const char* key) override { return StoredKeyOpens(subdir, key); }
    bool Read(const char* subdir, const char* key, const char* name, KeyValue* value) override;
    KeyWrite Write(const char* subdir, const char* key, keyfile::ValueType type, const char* name, const char* text,
                   uint32_t number) override;

protected:
    // The value as the unit holds it before the plan.
    virtual bool ReadStored(const char* subdir, const char* key, const char* name, KeyValue* value) = 0;
    virtual bool StoredKeyOpens(const char*, const char*) { return true; }
    // Whether a write looks up the value held before it (its type and the
    // case of its name); without, a write is taken as the store would take a
    // new value, and the store's own answer decides when the plan is made.
    virtual bool LooksUpBeforeWrite() const { return true; }

private:
    std::map<std::string, KeyValue> m_written;   // by lower-case subdir\key\name
};
