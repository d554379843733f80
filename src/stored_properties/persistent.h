#pragma once

#include "util/notify_event.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QIODevice;

namespace movan {

class TPersistent;

// What a persistent object may store besides its published properties:
// named blocks of raw bytes. A writer calls the write function of every block
// that has data; a reader calls the read function of the block it meets.
class TFiler {
public:
    using ReadFn = std::function<void(QIODevice &payload)>;
    using WriteFn = std::function<void(QIODevice &payload)>;

    virtual ~TFiler() = default;
    virtual void defineBinaryProperty(const QString &name, ReadFn read, WriteFn write, bool hasData) = 0;
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
    explicit TPersistent(QObject *parent = nullptr)
        : QObject(parent)
    {}

    // Copies the state of source into this object. An object that does not
    // know the source's class hands the job to the source (assignTo), which
    // refuses it unless it knows this class.
    virtual void Assign(TPersistent *source);

    // Extra stored properties beyond the published ones.
    virtual void defineProperties(TFiler &filer);
    // Persistent objects owned by this one and stored with it.
    virtual QList<TPersistentChild> persistentChildren() const;

    QString className() const;

protected:
    virtual void assignTo(TPersistent *dest);
};

} // namespace movan
