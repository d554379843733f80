#pragma once

#include "stored_properties/abc_resource_data.h"

namespace movan {

// The standard animations the animation control can play without a file.
enum TCommonAVI {
    aviNone,
    aviFindFolder,
    aviFindFile,
    aviFindComputer,
    aviCopyFiles,
    aviCopyFile,
    aviRecycleFile,
    aviEmptyRecycle,
    aviDeleteFile,
};

// Where an animation clip comes from: any source of TabcResourceData, or one
// of the standard animations.
class TabcAVISource : public TabcResourceData {
    Q_OBJECT
public:
    explicit TabcAVISource(QObject *parent = nullptr)
        : TabcResourceData(parent)
    {}

    TCommonAVI CommonAVI() const { return m_commonAVI; }
    void setCommonAVI(TCommonAVI value);

    void Clear() override;
    bool IsEmpty() const override;
    void Assign(TPersistent *source) override;

private:
    TCommonAVI m_commonAVI = aviNone;
};

} // namespace movan
