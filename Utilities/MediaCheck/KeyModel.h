// A unit's key as the store holds it while it is open: loaded from its two
// files by the store's rule and changed by the rules of its value writes,
// through the store's own block functions. The dry run of a restore plays the
// import on these instead of the unit's store.
#pragma once

#include "KeyFileFormat.h"
#include "MediaFiles.h"
#include "UnitSettings.h"

#include <cstdint>
#include <string>
#include <vector>

enum KeySource {
    KEY_FROM_PRIMARY,
    KEY_FROM_SECONDARY,   // the primary fails the validity rule
    KEY_CREATED,          // neither file is valid: the store starts the key empty
    KEY_TOO_LARGE,        // a valid file the store cannot hold: the key does not open
};

class CKeyModel {
public:
    CKeyModel();

    // As the store opens a key: the primary when it is valid, else the
    // secondary when it is, else a new empty key.
    KeySource Load(const fs::path& primary, const fs::path& secondary);
    // The value lines of a valid file (its text before the CRC line).
    bool LoadText(const char* text, size_t length);
    bool IsOpen() const { return m_bOpen; }

    KeyWrite WriteString(const char* name, const char* text);
    KeyWrite WriteDword(const char* name, uint32_t number);
    KeyWrite WriteBool(const char* name, int number);

    // The value of that name, compared without regard to case.
    bool Find(const char* name, KeyValue* value) const;
    // The indexed lines in key order.
    std::vector<KeyValue> Values() const;
    // The value lines as a save of the key would write them.
    std::string Text() const;

private:
    KeyWrite Write(const char* name, keyfile::ValueType type, const char* newText, const char* rewriteText);
    void     Clear();
    // Grows the block to at least bytes (at most the store's largest block).
    void     Reserve(size_t bytes);

    std::vector<uint64_t> m_storage;   // the block, aligned; grown as the key grows
    uint32_t              m_nTotal;
    bool                  m_bOpen;
};

const char* KeySourceText(KeySource source);
