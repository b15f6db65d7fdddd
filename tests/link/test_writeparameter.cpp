// Parameter writes: the wait for "O" / "E" through the event pump.
#include "LinkTestSupport.h"

using namespace linktest;

namespace {

class WriteTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        link.OpenComPort(1, 9600);
        link.CommStatus = Comm::Idle;
    }
    // The tests' pump: the sensor may answer, then one monitor tick.
    modKOVComm::EventPump pump = [this](int) {
        ++pumps;
        if (pumps == answerAt) wire->toLink += answer;
        if (beforeStep) beforeStep();
        Tick();
    };
    std::string answer;
    int answerAt = 3, pumps = 0;
    std::function<void()> beforeStep;
};

}  // namespace

// "O" accepts, "E" rejects; a temperature or a block instead is no
// acceptance, and silence ends at the deadline (1500 + 500 ms) and the time
// a late answer may take (1000 ms).
TEST_F(WriteTest, AnswersAndSilence) {
    link.DistanceUnit = 0;
    link.S1OnThreshold = 12000;
    struct Case { const char* code; const char* sent; std::string answer; int event; } cases[] = {
        {"111", "111 MM\r", "OK\r\n", 5},
        {"999", "999 \r", "ERR\r\n", 6},
        {"501", "501 12000\r", "T=23 C, OK\r\n", 6},
        {"501", "501 12000\r", "Type: Serial\r\n101: 0\r\nend\r\n", 6},
        {"304", "304 0\r", "", -1},
    };
    for (const Case& c : cases) {
        answer = c.answer;
        pumps = 0;
        wire->fromLink.clear();
        modKOVComm::WriteParameter(link, c.code, pump);
        EXPECT_EQ(wire->fromLink, c.sent);
        EXPECT_EQ(link.EventNr, c.event) << c.sent;
        EXPECT_EQ(pumps, c.event == -1 ? 61 : answerAt) << c.sent;
    }
    EXPECT_TRUE(time.slept.empty());
}

// One conversation at a time: a keep-alive "T" that went out just before is
// answered first, then the write goes out; its answer, even one that comes
// after the deadline, is its own; nothing else goes out meanwhile.
TEST_F(WriteTest, TheWriteWaitsForTheLineAndKeepsItsLateAnswer) {
    link.DistanceUnit = 0;
    link.SendCommand("T");
    wire->fromLink.clear();
    int writtenAt = 0;
    beforeStep = [&] {
        if (pumps == 4) wire->toLink += "Temp.  23 C, OK\r\n";
        if (writtenAt == 0 && !wire->fromLink.empty()) writtenAt = pumps;
        if (writtenAt > 0 && pumps == writtenAt + 44) wire->toLink += "OK\r\n";  // 2.2 s after the write
    };
    answerAt = 0;
    modKOVComm::WriteParameter(link, "111", pump);
    EXPECT_EQ(writtenAt, 5) << "the write went out after the temperature";
    EXPECT_EQ(wire->fromLink, "111 MM\r");
    EXPECT_EQ(link.EventNr, Event::Accepted);
}

// The program's pump may run several decoding steps; the answer seen by the
// first must not be lost to the reset of the next.
TEST_F(WriteTest, AnAnswerInsideThePumpIsKept) {
    modKOVComm::SetEventPump([this](int) {
        if (pumps++ == 0) wire->toLink = "OK\r\n";
        Tick();
        Tick();
    });
    modKOVComm::WriteParameter(link, "503");
    EXPECT_EQ(link.EventNr, Event::Accepted);
}

TEST_F(WriteTest, PortLossClosingOrAStoppedTimerEndTheWait) {
    beforeStep = [this] { wire->lost = pumps == 3; };
    modKOVComm::WriteParameter(link, "801", pump);
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
    EXPECT_EQ(pumps, 3);

    wire->lost = false;
    link.OpenComPort(1, 9600);
    pumps = 0;
    beforeStep = [this] { modKOVComm::SetClosing(pumps == 2); };
    modKOVComm::WriteParameter(link, "801", pump);
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
    EXPECT_EQ(pumps, 2);

    // A pump that never decodes: the clock still ends the wait.
    modKOVComm::SetClosing(false);
    modKOVComm::WriteParameter(link, "801", [this](int) { time.ms += 1000; });
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
}

// The hooks are one set: a single setter changes only its own hook, and one
// call puts all of them back as at program start.
TEST_F(WriteTest, HooksAreOneSet) {
    modKOVComm::SetHooks(
        {pump, true, [](int) {}, [](const unsigned char*, unsigned, std::int32_t, std::uint16_t*) { return false; }});
    modKOVComm::SetClosing(false);
    modKOVComm::SetSleep({});
    const modKOVComm::Hooks& hooks = modKOVComm::GetHooks();
    EXPECT_TRUE(hooks.pump && hooks.checksum);
    EXPECT_FALSE(hooks.closing || hooks.sleep);
    modKOVComm::ConfigurationRead = true;

    modKOVComm::ResetHooks();
    EXPECT_FALSE(hooks.pump || hooks.closing || hooks.sleep || hooks.checksum);
    EXPECT_FALSE(modKOVComm::ConfigurationRead);
}

// The program may put the hooks back while a write waits in its pump (it is
// shutting down): the pump running at that moment stays intact, and the
// closing flag ends the wait.
TEST_F(WriteTest, HooksReplacedWhileTheWriteWaits) {
    modKOVComm::Hooks shuttingDown;
    shuttingDown.closing = true;
    std::vector<int> calls;  // captured by value: the pump's state lives on the heap
    modKOVComm::SetEventPump([this, calls, shuttingDown](int) mutable {
        modKOVComm::SetHooks(shuttingDown);
        calls.push_back(pumps);  // after the replacement: still the pump's own state
        Tick();
        pumps = static_cast<int>(calls.size());
    });
    modKOVComm::WriteParameter(link, "801");
    EXPECT_EQ(link.EventNr, Event::NoAnswer);
    EXPECT_EQ(pumps, 1);
    EXPECT_TRUE(modKOVComm::Closing());
}
