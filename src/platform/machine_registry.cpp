#include "platform/machine_registry.h"

#include "platform/atomic_file.h"
#include "platform/wine_hive_text.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

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
{
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
    const auto changed = WineHive::withoutValue(*hive, *m_key, name);
    return changed && replaceFileAtomically(m_prefix.machineHivePath(), *changed, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
}
