#include "persistence/abc_resource_data.h"

#include "persistence/persistent_errors.h"

#include <QFile>
#include <QLibrary>

TabcResourceData::TabcResourceData(QObject *parent)
    : TPersistent(parent), m_data(new TabcPersistentMemory(this))
{
    m_data->setObjectName(QStringLiteral("Data"));
}

TabcResourceData::~TabcResourceData()
{
    // Destroying a QLibrary does not unload it, so the module stays loaded
    // for the life of the process, as resources handed out may be in use.
    DeleteTempFile();
}

void TabcResourceData::SetData(TabcPersistentMemory *Value)
{
    if (Value == m_data)
        return;
    // Copy first: Clear empties our block and Value may share its owner.
    const QByteArray bytes = Value ? Value->Bytes() : QByteArray();
    Changing();
    Clear();
    m_data->SetBuffer(bytes.constData(), bytes.size());
    Changed();
}

void TabcResourceData::SetFileName(const QString &Value)
{
    if (Value == m_fileName)
        return;
    Changing();
    Clear();
    m_fileName = Value;
    Changed();
}

void TabcResourceData::SetResourceName(const QString &Value)
{
    if (Value == m_resourceName)
        return;
    Changing();
    Clear();
    m_resourceName = Value;
    Changed();
}

void TabcResourceData::SetResourceID(int Value)
{
    if (Value == m_resourceID)
        return;
    Changing();
    Clear();
    m_resourceID = Value;
    Changed();
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

void TabcResourceData::LoadModule()
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
    LoadModule();
    const QString name = m_resourceName.isEmpty() ? QString::number(m_resourceID) : m_resourceName;
    const QString path = m_resourceType.isEmpty() ? QStringLiteral(":/%1").arg(name)
                                                  : QStringLiteral(":/%1/%2").arg(m_resourceType, name);
    if (!QFile::exists(path))
        throw AppError(QStringLiteral("The resource \"%1\" of type \"%2\" cannot be found")
                           .arg(name, m_resourceType));
    m_resourceHandle = path;
    return m_resourceHandle;
}

void TabcResourceData::WriteDataToFile(QString &FileName)
{
    if (m_data->IsEmpty()) {
        FileName.clear();
        return;
    }
    DeleteTempFile();
    m_data->SaveToFile(FileName);
    m_tempFileName = FileName;
}

void TabcResourceData::DeleteTempFile()
{
    if (m_tempFileName.isEmpty())
        return;
    QFile::remove(m_tempFileName);
    m_tempFileName.clear();
}

void TabcResourceData::Assign(TPersistent *Source)
{
    auto *source = qobject_cast<TabcResourceData *>(Source);
    if (Source && !source) {
        TPersistent::Assign(Source);
        return;
    }
    Changing();
    if (!source) {
        Clear();
    } else if (source != this) {
        if (!source->m_data->IsEmpty()) {
            const QByteArray bytes = source->m_data->Bytes();
            m_data->SetBuffer(bytes.constData(), bytes.size());
        }
        m_fileName = source->m_fileName;
        m_resourceModule = source->m_resourceModule;
        m_resourceName = source->m_resourceName;
        m_resourceID = source->m_resourceID;
        // A handle found for the old resource names must not outlive them.
        m_resourceHandle.clear();
    }
    Changed();
}

QList<TPersistentChild> TabcResourceData::PersistentChildren() const
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
