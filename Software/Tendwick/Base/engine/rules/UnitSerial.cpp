#include "UnitSerial.h"

#include "IdentityRules.h"

SerialSource PickUnitSerial(CSerialSources& sources, size_t size, std::string* serial)
{
    serial->clear();
    if (size == 0) return SerialSource::Fixed;
    if (sources.UserRegistry(size, serial)) return SerialSource::UserRegistry;
    serial->clear();
    if (sources.Store(size, serial) && !serial->empty()) return SerialSource::Store;
    serial->clear();
    if (sources.ComputerName(size, serial)) return SerialSource::ComputerName;
    *serial = std::string(DEFAULT_SERIAL_NUMBER).substr(0, size - 1);
    return SerialSource::Fixed;
}
