#include "selectormodel.h"

namespace tvl {

int SelectorModel::takeRemembered() {
    const int entry = m_remembered.value_or(-1);
    m_remembered.reset();
    return entry;
}

int SelectorModel::followMove(int index, int from, int to) {
    if (index < 0 || from == to) {
        return index;
    }
    if (index == from) {
        return to;
    }
    if (to < from && index >= to && index < from) {
        return index + 1;
    }
    if (to > from && index > from && index <= to) {
        return index - 1;
    }
    return index;
}

int SelectorModel::followRemoval(int index, int removed) {
    if (index < 0 || index == removed) {
        return -1;
    }
    return index > removed ? index - 1 : index;
}

int SelectorModel::moveEntry(int from, int to, int current) {
    m_pending = followMove(m_pending, from, to);
    if (m_remembered) {
        m_remembered = followMove(*m_remembered, from, to);
    }
    return followMove(current, from, to);
}

int SelectorModel::removeEntry(int entry, int current) {
    m_pending = followRemoval(m_pending, entry);
    if (m_remembered) {
        m_remembered = followRemoval(*m_remembered, entry);
    }
    return followRemoval(current, entry);
}

}  // namespace tvl
