#include "stored_properties/abc_avi_source.h"

namespace movan {

void TabcAVISource::setCommonAVI(TCommonAVI value)
{
    replaceSource(m_commonAVI, value);
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

void TabcAVISource::Assign(TPersistent *source)
{
    if (auto *avi = qobject_cast<TabcAVISource *>(source))
        m_commonAVI = avi->m_commonAVI;
    TabcResourceData::Assign(source);
}

} // namespace movan
