// Which serial number a unit gives: the one rule the engine reads it by and
// the restore plan follows, so that both see the same number. No windows.h.
#pragma once

#include <cstddef>
#include <string>

// Where a serial number came from.
enum class SerialSource {
    Fixed = 0,          // none found: the fixed text
    Store = 1,          // the store's "SerialNumber"
    UserRegistry = 2,   // "Software\Corvane\SysSetup"
    ComputerName = 3,   // the computer's name
};

// The places a unit gives its serial number from. Each is asked only when the
// ones before it gave nothing, and answers whether it holds a text that a
// buffer of size characters (terminator included) takes whole.
class CSerialSources {
public:
    virtual ~CSerialSources() {}
    // "SerialNumber" of the user's "Software\Corvane\SysSetup".
    virtual bool UserRegistry(size_t size, std::string* text) = 0;
    // The store's "SerialNumber" in ShellPersist\SystemData.
    virtual bool Store(size_t size, std::string* text) = 0;
    // The computer's name.
    virtual bool ComputerName(size_t size, std::string* text) = 0;
};

// The most characters of a registry text a buffer of size takes: the value is
// read into size - 1 bytes with the terminator it is stored with.
inline size_t RegistryTextChars(size_t size) { return size < 2 ? 0 : size - 2; }
// The most characters of a store text a buffer of size takes.
inline size_t StoreTextChars(size_t size) { return size < 1 ? 0 : size - 1; }

// The unit's serial number from the first source that gives one: the user
// registry's value even when it is empty (the unit then has no valid number,
// and a restore gives it the save's); the store's unless it is empty; the
// computer's name; else the fixed text, cut to the buffer.
SerialSource PickUnitSerial(CSerialSources& sources, size_t size, std::string* serial);
