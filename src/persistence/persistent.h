#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QIODevice;

class TPersistent;

// What a persistent object may store besides its published properties:
// named blocks of raw bytes. A writer calls the write function of every block
// that has data; a reader calls the read function of the block it meets.
class TFiler {
public:
    using ReadFn = std::function<void(QIODevice &payload)>;
    using WriteFn = std::function<void(QIODevice &payload)>;

    virtual ~TFiler() = default;
    virtual void DefineBinaryProperty(const QString &name, ReadFn read, WriteFn write, bool hasData) = 0;
};

// A nested persistent object stored under a property name of its owner, so
// that its own blocks are stored under "Owner.Name.Block".
struct TPersistentChild {
    QString name;
    TPersistent *object = nullptr;
};

// Base of every object that can be copied with Assign and stored with the
// window that holds it.
class TPersistent : public QObject {
    Q_OBJECT
public:
    explicit TPersistent(QObject *parent = nullptr) : QObject(parent) {}

    // Copies the state of Source into this object. An object that does not
    // know the source's class hands the job to the source (AssignTo), which
    // refuses it unless it knows this class.
    virtual void Assign(TPersistent *Source);

    // Extra stored properties beyond the published ones.
    virtual void DefineProperties(TFiler &filer);
    // Persistent objects owned by this one and stored with it.
    virtual QList<TPersistentChild> PersistentChildren() const;

    QString ClassName() const;

protected:
    virtual void AssignTo(TPersistent *Dest);
};

// Notification handler called with the object that changed.
using TNotifyEvent = std::function<void(QObject *Sender)>;
