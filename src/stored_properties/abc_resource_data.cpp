#include "stored_properties/abc_resource_data.h"

#include "stored_properties/persistent_errors.h"

#include <QFile>
#include <QLibrary>

namespace movan {

TabcResourceData::TabcResourceData(QObject *parent)
    : TPersistent(parent)
    , m_data(new TabcPersistentMemory(this))
{
    m_data->setObjectName(QStringLiteral("Data"));
}

TabcResourceData::~TabcResourceData()
{
    // Destroying a QLibrary does not unload it, so the module stays loaded
    // for the life of the process, as resources handed out may be in use.
    DeleteTempFile();
}

void TabcResourceData::setData(TabcPersistentMemory *value)
{
    if (value == m_data)
        return;
    // Copy first: Clear empties our block and value may share its owner.
    const QByteArray bytes = value ? value->bytes() : QByteArray();
    Changing();
    Clear();
    m_data->SetBuffer(bytes.constData(), bytes.size());
    Changed();
}

void TabcResourceData::setFileName(const QString &value)
{
    replaceSource(m_fileName, value);
}

void TabcResourceData::setResourceName(const QString &value)
{
    replaceSource(m_resourceName, value);
}

void TabcResourceData::setResourceID(int value)
{
    replaceSource(m_resourceID, value);
}

void TabcResourceData::Clear()
{
    m_resourceHandle.clear();
    m_data->Clear();
    m_fileName.clear();
    m_resourceName.clear();
    m_resourceID = 0;
}

bool TabcResourceData::IsEmpty() const
{
    return m_data->IsEmpty() && m_fileName.isEmpty() && m_resourceName.isEmpty() && m_resourceID == 0;
}

bool TabcResourceData::IsResource() const
{
    return !m_resourceName.isEmpty() || m_resourceID != 0;
}

void TabcResourceData::loadModule()
{
    if (m_resourceModule.isEmpty())
        return;
    if (m_module && m_module->fileName() == m_resourceModule)
        return;
    auto module = std::make_unique<QLibrary>(m_resourceModule);
    if (!module->load())
        throw AppError(module->errorString());
    m_module = std::move(module);
}

QString TabcResourceData::ResourceHandle()
{
    if (!m_resourceHandle.isEmpty())
        return m_resourceHandle;
    if (!IsResource())
        return {};
    loadModule();
    const QString name = m_resourceName.isEmpty() ? QString::number(m_resourceID) : m_resourceName;
    const QString path = m_resourceType.isEmpty() ? QStringLiteral(":/%1").arg(name)
                                                  : QStringLiteral(":/%1/%2").arg(m_resourceType, name);
    if (!QFile::exists(path))
        throw AppError(QStringLiteral("The resource \"%1\" of type \"%2\" cannot be found").arg(name, m_resourceType));
    m_resourceHandle = path;
    return m_resourceHandle;
}

void TabcResourceData::WriteDataToFile(QString &fileName)
{
    if (m_data->IsEmpty()) {
        fileName.clear();
        return;
    }
    DeleteTempFile();
    m_data->SaveToFile(fileName);
    m_tempFileName = fileName;
}

void TabcResourceData::DeleteTempFile()
{
    if (m_tempFileName.isEmpty())
        return;
    QFile::remove(m_tempFileName);
    m_tempFileName.clear();
}

void TabcResourceData::Assign(TPersistent *source)
{
    auto *holder = qobject_cast<TabcResourceData *>(source);
    if (source && !holder) {
        TPersistent::Assign(source);
        return;
    }
    Changing();
    if (!holder) {
        Clear();
    } else if (holder != this) {
        if (!holder->m_data->IsEmpty()) {
            const QByteArray bytes = holder->m_data->bytes();
            m_data->SetBuffer(bytes.constData(), bytes.size());
        }
        m_fileName = holder->m_fileName;
        m_resourceModule = holder->m_resourceModule;
        m_resourceName = holder->m_resourceName;
        m_resourceID = holder->m_resourceID;
        // A handle found for the old resource names must not outlive them.
        m_resourceHandle.clear();
    }
    Changed();
}

QList<TPersistentChild> TabcResourceData::persistentChildren() const
{
    return {{QStringLiteral("Data"), m_data}};
}

void TabcResourceData::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TabcResourceData::Changing()
{
    if (OnChanging)
        OnChanging(this);
}

} // namespace movan
