#include "iprefresh/IpRefreshState.h"

namespace kestrelon {

void IpRefreshState::change(const std::function<void(Fields&)>& edit)
{
    Fields before = m_fields;
    edit(m_fields);
    if (!(before == m_fields)) {
        Q_EMIT changed();
    }
}

} // namespace kestrelon
