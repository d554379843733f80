#pragma once

#include "persistence/abc_persistent_memory.h"
#include "persistence/persistent.h"

#include <QString>

#include <memory>

class QLibrary;

// Says where a piece of raw data comes from: bytes embedded with the window,
// a file, or a Qt resource of the program or of a shared library. At most one
// kind of source is set at any time.
//
// Resources are looked up as ":/<ResourceType>/<ResourceName or ResourceID>".
class TabcResourceData : public TPersistent {
    Q_OBJECT
public:
    explicit TabcResourceData(QObject *parent = nullptr);
    ~TabcResourceData() override;

    TabcPersistentMemory *Data() const { return m_data; }
    void SetData(TabcPersistentMemory *Value);
    const QString &FileName() const { return m_fileName; }
    void SetFileName(const QString &Value);
    const QString &ResourceModule() const { return m_resourceModule; }
    void SetResourceModule(const QString &Value) { m_resourceModule = Value; }
    const QString &ResourceName() const { return m_resourceName; }
    void SetResourceName(const QString &Value);
    int ResourceID() const { return m_resourceID; }
    void SetResourceID(int Value);
    const QString &ResourceType() const { return m_resourceType; }
    void SetResourceType(const QString &Value) { m_resourceType = Value; }

    const QString &TempFileName() const { return m_tempFileName; }
    // Loads the module named by ResourceModule, once; raises the loader's
    // error when it cannot be loaded. Nothing when no module is named.
    void LoadModule();
    // The loaded module, or none when the resources are the program's own.
    QLibrary *ModuleHandle() const { return m_module.get(); }

    virtual void Clear();
    virtual bool IsEmpty() const;
    virtual bool IsResource() const;
    // The path of the found resource in the Qt resource tree, loading the
    // module first when one is named; empty when this is no resource source.
    virtual QString ResourceHandle();

    // Writes the embedded bytes to FileName and remembers it as the temporary
    // file (deleting the previous one); with no bytes FileName is emptied.
    void WriteDataToFile(QString &FileName);
    void DeleteTempFile();

    void Assign(TPersistent *Source) override;
    QList<TPersistentChild> PersistentChildren() const override;

    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    virtual void Changed();
    virtual void Changing();

private:
    TabcPersistentMemory *m_data;
    QString m_fileName;
    QString m_resourceModule;
    QString m_resourceName;
    int m_resourceID = 0;
    QString m_resourceType;
    QString m_tempFileName;
    QString m_resourceHandle;
    std::unique_ptr<QLibrary> m_module;
};
