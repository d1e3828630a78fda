// The framework's string: an 8-bit text that owns its characters. Only what
// the program's registry helpers need.
#pragma once

#include <cstddef>
#include <string>

class CString {
public:
    // Construction
    CString() = default;
    CString(const char* text) : m_str(text ? text : "") {}   // implicit, as the framework's is
    // The first `length` characters of text; a NUL among them ends the text.
    CString(const char* text, int length);

    // Attributes
    int  GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    const char* GetString() const { return m_str.c_str(); }
    operator const char*() const { return m_str.c_str(); }

    // Operations
    void Empty() { m_str.clear(); }
    // Index of the first ch, or -1.
    int Find(char ch) const;
    // The first count characters (all when count passes the end; none when negative).
    CString Left(int count) const;
    // The characters from index first to the end (none when first passes the end).
    CString Mid(int first) const;

    bool operator==(const CString& other) const { return m_str == other.m_str; }
    bool operator!=(const CString& other) const { return m_str != other.m_str; }

private:
    std::string m_str;
};
