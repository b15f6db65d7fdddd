#include "MessageQueue.h"

#include <utility>

namespace mqtt {

void MessageQueue::Push(Message m) {
    m_items.push_back(std::move(m));
    while (m_items.size() > m_limit) {
        m_items.pop_front();
        ++m_dropped;
    }
}

void MessageQueue::PushFront(Message m) {
    if (m_items.size() >= m_limit) {
        ++m_dropped;  // it is the oldest of all
        return;
    }
    m_items.push_front(std::move(m));
}

bool MessageQueue::Pop(Message* m) {
    if (m_items.empty()) return false;
    *m = std::move(m_items.front());
    m_items.pop_front();
    return true;
}

}  // namespace mqtt
