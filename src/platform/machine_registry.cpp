#include "platform/machine_registry.h"

#include "platform/locked_file.h"
#include "platform/wine_hive_text.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace movan {

namespace {

std::optional<QByteArray> readWritableHive(const WinePrefix &prefix)
{
    const QString path = prefix.machineHivePath();
    const QFileInfo info(path);
    if (!info.isFile() || !info.isWritable() || !QFileInfo(info.absolutePath()).isWritable() || prefix.serverRunning())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray text = file.readAll();
    if (!WineHive::isHiveText(text))
        return std::nullopt;
    return text;
}

} // namespace

MachineRegistry::MachineRegistry(WinePrefix prefix)
    : m_prefix(std::move(prefix))
{}

// Out of line: inlined into callers, the optional key's destructor makes
// GCC 12 warn of a string that may be used uninitialised, which it is not.
MachineRegistry::~MachineRegistry() = default;

void MachineRegistry::closeKey()
{
    m_key.reset();
}

bool MachineRegistry::openKey(const QString &path)
{
    m_key.reset();
    const auto hive = readWritableHive(m_prefix);
    if (hive)
        m_key = WineHive::resolveKey(*hive, path);
    return m_key.has_value();
}

bool MachineRegistry::deleteValue(const QString &name)
{
    if (!m_key)
        return false;
    // Read again: the hive may have changed since the key was opened.
    const auto hive = readWritableHive(m_prefix);
    if (!hive)
        return false;
    if (!WineHive::withoutValue(*hive, *m_key, name))
        return false;
    // Under the file's lock, so a sibling program's own write between the
    // read above and this one is not lost.
    bool removed = false;
    const bool stored = LockedFile::rewrite(QFile::encodeName(m_prefix.machineHivePath()), [&](QByteArrayView current) {
        const QByteArray text = current.toByteArray();
        const auto changed = WineHive::withoutValue(text, *m_key, name);
        removed = changed.has_value();
        return changed.value_or(text);
    });
    return stored && removed;
}

} // namespace movan
