// Publishing without a broker: the bounded queue drops the oldest values
// and counts them, and a serial number becomes one safe topic level.
#include <gtest/gtest.h>

#include "MessageQueue.h"
#include "MqttSettings.h"

namespace {

using namespace mqtt;

TEST(MessageQueue, KeepsTheNewestWithinItsLimitAndCountsWhatItDrops) {
    MessageQueue q(3);
    for (int i = 1; i <= 5; ++i) q.Push({"t", std::to_string(i)});
    EXPECT_EQ(q.Size(), 3u);
    EXPECT_EQ(q.Dropped(), 2u);
    Message m;
    ASSERT_TRUE(q.Pop(&m));
    EXPECT_EQ(m.Payload, "3");
    // A message that could not be handed over goes first again ...
    q.PushFront(m);
    ASSERT_TRUE(q.Pop(&m));
    EXPECT_EQ(m.Payload, "3");
    // ... unless the queue filled up meanwhile: then it is the oldest, and goes.
    q.Push({"t", "6"});
    q.PushFront(m);
    EXPECT_EQ(q.Dropped(), 3u);
    std::string rest;
    while (q.Pop(&m)) rest += m.Payload;
    EXPECT_EQ(rest, "456");
}

TEST(MqttSettings, TopicsOfASensorAreSafeWhateverItsSerialNumber) {
    const struct {
        const char* serial;
        const char* level;
    } cases[] = {
        {"30514", "30514"}, {"  A-12.3_x \t", "A-12.3_x"}, {"a/b+c#d e", "a_b_c_d_e"}, {"", "unknown"}, {"   ", "unknown"},
        {"\xe4\xf6", "__"},  // Windows-1252 umlauts
    };
    for (const auto& c : cases) EXPECT_EQ(TopicLevel(c.serial), c.level) << c.serial;
    EXPECT_EQ(TopicName("plant/hall1", "30514", Topic::Distance), "plant/hall1/30514/distance");
    EXPECT_EQ(TopicName(DefaultPrefix, "30514", Topic::Status), "ora2orb2/30514/status");
}

}  // namespace
