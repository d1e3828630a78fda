// The unit's settings as a restore plan sees them: values of store keys read
// and written by the store's rules, and the serial number the unit gives from
// outside its store. The engine answers from its store, the media inspector
// from copies of the unit's key files. No windows.h.
#pragma once

#include "KeyFileFormat.h"

#include <cstdint>
#include <string>

struct KeyValue {
    std::string        name;   // as the key holds it
    keyfile::ValueType type = keyfile::ValueType::None;
    std::string        text;   // as the key's line holds it
};

// What the store answers to one value write.
enum KeyWrite {
    KEY_WRITE_DONE,
    KEY_WRITE_NOT_OPEN,
    KEY_WRITE_BAD_NAME,     // empty, longer than 100 bytes, or bytes the format cannot carry
    KEY_WRITE_BAD_VALUE,    // a string the format cannot carry
    KEY_WRITE_WRONG_TYPE,   // the name is held with another type
    KEY_WRITE_FULL,         // 255 lines, or no room left in the key
};

const char* KeyWriteText(KeyWrite result);
const char* ValueTypeWord(keyfile::ValueType type);

class CUnitSettings {
public:
    virtual ~CUnitSettings() {}
    // Whether the store opens the key (a key larger than it can hold does not).
    virtual bool KeyOpens(const char* subdir, const char* key) = 0;
    // The value of that name (compared without regard to case) as the key
    // holds it now, the plan's own writes included; false when there is none.
    virtual bool Read(const char* subdir, const char* key, const char* name, KeyValue* value) = 0;
    // A write as the store makes it; later reads see it. Nothing reaches the
    // unit: the engine carries the plan out afterwards.
    virtual KeyWrite Write(const char* subdir, const char* key, keyfile::ValueType type, const char* name,
                           const char* text, uint32_t number) = 0;
    // Why the last read found no value of the wanted type (the store's
    // detail code, as a read of that type leaves it); 0 when not known.
    virtual unsigned long ReadDetail(keyfile::ValueType) const { return 0; }
    // The serial number in the unit's registry, which wins over the store's;
    // empty when it has none.
    virtual std::string RegistrySerial() { return std::string(); }
    // What the unit gives when neither has one (its computer name); empty
    // when not known.
    virtual std::string ComputerName() { return std::string(); }
};
