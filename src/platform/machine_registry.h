#pragma once

#include "platform/wine_prefix.h"

#include <QString>

#include <optional>

namespace movan {

// Keys and values under HKEY_LOCAL_MACHINE, kept in the machine hive of a
// Wine prefix. Paths are relative to the root; leading and trailing
// backslashes are allowed. A change rewrites the hive atomically and keeps
// every byte of it but the change.
class MachineRegistry {
public:
    explicit MachineRegistry(WinePrefix prefix = WinePrefix::fromEnvironment());
    ~MachineRegistry();

    // Opens an existing key for reading and writing. False, with no key open,
    // when the hive is missing, not a hive, or not writable, when the
    // prefix's wineserver runs, or when there is no such key.
    bool openKey(const QString &path);
    bool hasOpenKey() const { return m_key.has_value(); }
    // Deletes a value of the open key; false when there is none of that name
    // or the hive cannot be rewritten.
    bool deleteValue(const QString &name);
    void closeKey();

private:
    WinePrefix m_prefix;
    std::optional<QString> m_key;
};

} // namespace movan
