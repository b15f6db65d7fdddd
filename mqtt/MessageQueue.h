#pragma once
// The values waiting for the broker: first in, first out, at most `limit`
// of them. A value beyond the limit pushes out the oldest, which is counted
// as dropped, so that a long broker outage costs memory up to the limit and
// the newest values are the ones sent once the broker is back.
// Not synchronised: the publisher holds its lock around every call.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace mqtt {

struct Message {
    std::string Topic;
    std::string Payload;
};

class MessageQueue {
public:
    explicit MessageQueue(std::size_t limit) : m_limit(limit > 0 ? limit : 1) {}

    // Appends `m`; when that passes the limit, the oldest is dropped.
    void Push(Message m);
    // Puts back a message taken with Pop that could not be handed over: it
    // goes first again (and is dropped itself if the queue filled up meanwhile).
    void PushFront(Message m);
    // Takes the oldest; false when empty.
    bool Pop(Message* m);

    std::size_t Size() const { return m_items.size(); }
    std::size_t Limit() const { return m_limit; }
    std::uint64_t Dropped() const { return m_dropped; }

private:
    std::size_t m_limit;
    std::deque<Message> m_items;
    std::uint64_t m_dropped = 0;
};

}  // namespace mqtt
