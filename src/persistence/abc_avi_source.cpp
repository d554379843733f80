#include "persistence/abc_avi_source.h"

void TabcAVISource::SetCommonAVI(TCommonAVI Value)
{
    if (Value == m_commonAVI)
        return;
    Changing();
    Clear();
    m_commonAVI = Value;
    Changed();
}

void TabcAVISource::Clear()
{
    TabcResourceData::Clear();
    m_commonAVI = aviNone;
}

bool TabcAVISource::IsEmpty() const
{
    return TabcResourceData::IsEmpty() && m_commonAVI == aviNone;
}

void TabcAVISource::Assign(TPersistent *Source)
{
    if (auto *source = qobject_cast<TabcAVISource *>(Source))
        m_commonAVI = source->m_commonAVI;
    TabcResourceData::Assign(Source);
}
