// One section (key) of a persist directory of the store, read and written
// value by value with the one-shot accessors, waiting without limit.
#pragma once

#include <cstdint>

#include "FrameworkString.h"

class CPersistSection {
public:
    // Construction
    CPersistSection(const char* persistKey, const char* section) : m_strPersistKey(persistKey), m_strSection(section) {}

    // Attributes
    const CString& GetPersistKey() const { return m_strPersistKey; }
    const CString& GetSection() const { return m_strSection; }

    // Operations. Each is true unless the store reports PERS_FAILED; a failed
    // read leaves text as it was.
    bool GetString(const char* valueName, CString& text) const;
    bool SetDW(const char* valueName, uint32_t value) const;
    bool SetString(const char* valueName, const char* text) const;

private:
    // Data
    CString m_strPersistKey;
    CString m_strSection;
};
