#pragma once

#include "stored_properties/abc_persistent_memory.h"
#include "stored_properties/persistent.h"
#include "util/notify_event.h"

#include <QString>

#include <memory>
#include <utility>

class QLibrary;

namespace movan {

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
    void setData(TabcPersistentMemory *value);
    const QString &FileName() const { return m_fileName; }
    void setFileName(const QString &value);
    const QString &ResourceModule() const { return m_resourceModule; }
    void setResourceModule(const QString &value) { m_resourceModule = value; }
    const QString &ResourceName() const { return m_resourceName; }
    void setResourceName(const QString &value);
    int ResourceID() const { return m_resourceID; }
    void setResourceID(int value);
    const QString &ResourceType() const { return m_resourceType; }
    void setResourceType(const QString &value) { m_resourceType = value; }

    const QString &TempFileName() const { return m_tempFileName; }
    // Loads the module named by ResourceModule, once; raises the loader's
    // error when it cannot be loaded. Nothing when no module is named.
    void loadModule();
    // The loaded module, or none when the resources are the program's own.
    QLibrary *moduleHandle() const { return m_module.get(); }

    virtual void Clear();
    virtual bool IsEmpty() const;
    virtual bool IsResource() const;
    // The path of the found resource in the Qt resource tree, loading the
    // module first when one is named; empty when this is no resource source.
    virtual QString ResourceHandle();

    // Writes the embedded bytes to fileName and remembers it as the temporary
    // file (deleting the previous one); with no bytes fileName is emptied.
    void WriteDataToFile(QString &fileName);
    void DeleteTempFile();

    void Assign(TPersistent *source) override;
    QList<TPersistentChild> persistentChildren() const override;

    NotifyEvent OnChanging;
    NotifyEvent OnChange;

protected:
    virtual void Changed();
    virtual void Changing();

    // Makes value the one source, between the change events; nothing when
    // the field already holds it. The value is copied before the other
    // sources are cleared, as it may be one of them.
    template <class T> void replaceSource(T &field, const T &value)
    {
        if (value == field)
            return;
        T newValue = value;
        Changing();
        Clear();
        field = std::move(newValue);
        Changed();
    }

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

} // namespace movan
