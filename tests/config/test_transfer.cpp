// The transfers without a window: the simulated sensor behind an in-process
// port, the measurement loop on simulated time ticking inside every wait (as
// the main window's timer does), and a host that records what it is told and
// answers the Abort / Retry / Ignore question from a script.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MonitorLoop.h"
#include "SensorModel.h"
#include "SimulatedLoop.h"
#include "clsConfigTransfer.h"
#include "clsKOV.h"
#include "modKOVComm.h"

using namespace testsupport;
namespace Comm = modKOVComm::Comm;
using Mode = clsConfigTransfer::Mode;
using Result = clsConfigTransfer::Result;
using Strings = std::vector<std::string>;

namespace {

struct RecordingHost : TransferHost {
    int status = -1;
    std::uint32_t color = StatusBlack;
    std::vector<std::pair<std::string, std::int32_t>> questions;
    std::deque<TransferAnswer> answers;  // Abort once they run out
    std::function<void()> whileAsking;
    int read = 0;
    int missing = 0;
    std::function<bool()> cancel;

    void ShowStatus(int textId) override { status = textId; }
    void SetStatusColor(std::uint32_t c) override { color = c; }
    TransferAnswer AskAbortRetryIgnore(const std::string& code, std::int32_t eventNr) override {
        questions.emplace_back(code, eventNr);
        if (whileAsking) whileAsking();
        if (answers.empty()) return TransferAnswer::Abort;
        const TransferAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void ConfigurationRead() override { ++read; }
    void ConfigurationMissing() override { ++missing; }
    bool CancelRequested() override { return cancel && cancel(); }
};

// The upload of a serial sensor as it comes from the factory: no rain
// filter (the upload ends after 802), analog output off (504 / 505, no 506).
const Strings kSerialUpload = {"101 ASCII+UNIT", "111 M",    "301 1024", "302 25",   "304 0",    "305 0",
                               "306 1",          "311 0",    "401 1000", "402 9000", "403 0",    "501 10000",
                               "502 9900",       "503 1",    "504 1000", "505 900",  "601 9600", "603 C",
                               "701 0",          "702 1000", "801 200",  "802 1013"};

class TransferTest : public SimulatedLoopTest {
protected:
    void Start(const Sim::Options& options = {}) {
        StartLoop(options);
        transfer = std::make_unique<clsConfigTransfer>(link, host);
        loop->AddTickListener([this](clsKOV& k) { transfer->NoteTick(k); });
        ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Idle; }));
        Tick(5);
    }
    // What the sensor receives from now on.
    void Mark() { mark = model->Commands().size(); }
    Strings Sent() const {
        Strings s;
        for (std::size_t i = mark; i < model->Commands().size(); ++i) s.push_back(model->Commands()[i].text);
        return s;
    }
    // The parameter writes among them.
    Strings Written() const {
        Strings s;
        for (const std::string& c : Sent())
            if (!c.empty() && c[0] >= '0' && c[0] <= '9') s.push_back(c);
        return s;
    }
    Result Run(Mode mode) {
        Mark();
        started = time.ms;
        return transfer->TransferConfig(mode);
    }

    RecordingHost host;
    std::unique_ptr<clsConfigTransfer> transfer;
    std::size_t mark = 0;
    double started = 0;
};

Strings With(Strings list, const std::string& after, const Strings& inserted) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == after) {
            list.insert(list.begin() + static_cast<long>(i) + 1, inserted.begin(), inserted.end());
            break;
        }
    }
    return list;
}

Strings Without(Strings list, const Strings& removed) {
    Strings out;
    for (const std::string& s : list) {
        bool drop = false;
        for (const std::string& r : removed) drop = drop || s == r;
        if (!drop) out.push_back(s);
    }
    return out;
}

}  // namespace

// A download fills the link from the sensor's block and says so.
TEST_F(TransferTest, DownloadReadsTheSensor) {
    Start({});
    model->SetParam(111, 0);
    model->SetParam(701, -250);
    EXPECT_EQ(Run(Mode::Download), Result::Done);
    EXPECT_EQ(Sent(), Strings{"C"});
    EXPECT_EQ(link->DistanceUnit, 0);
    EXPECT_EQ(link->Offset, -250);
    EXPECT_EQ(host.status, TransferText::Downloaded);
    EXPECT_EQ(host.color, StatusBlack);
    EXPECT_EQ(host.read, 1);
    EXPECT_FALSE(transfer->TransferBusy());
}

// A serial sensor gets exactly the codes of the table, in order, with the
// link's values as wire texts, then "C" reads the set back. Started right
// after a keep-alive "T", whose answer must not count as a rejection.
TEST_F(TransferTest, SerialUploadSendsTheTableInOrder) {
    Start({});
    ASSERT_TRUE(TickUntil([this] { return link->LastCommand == "T"; }));
    link->DistanceUnit = 0;
    link->Offset = -250;
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    Strings expected = kSerialUpload;
    expected[1] = "111 MM";
    expected[18] = "701 -250";
    expected.push_back("C");
    EXPECT_EQ(Without(Sent(), {"T"}), expected);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.status, TransferText::Uploaded);
    EXPECT_EQ(model->Param(111), 0);
    EXPECT_EQ(model->Param(701), -250);
    EXPECT_EQ(link->DistanceUnit, 0) << "read back";
}

// Analog output on: Q2's thresholds stay out, its logic goes.
TEST_F(TransferTest, AnalogOutputSendsTheLogicOfQ2Instead) {
    Start({});
    link->AnalogOutput = 1;
    link->S2Logic = 0;
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    Strings expected = With(Without(kSerialUpload, {"504 1000", "505 900"}), "503 1", {"506 0"});
    expected[10] = "403 1";
    EXPECT_EQ(Written(), expected);
    EXPECT_EQ(model->Param(506), 0);
}

// A Profibus sensor with rain filter: no outputs, no output mode; the
// address and the rain filter mode (PIXEL too) go; 352..355 never.
TEST_F(TransferTest, ProfibusUploadWithRainFilter) {
    Sim::Options options;
    options.profibus = true;
    options.rainFilter = true;
    Start(options);
    ASSERT_EQ(link->DeviceType, "Profibus");
    link->NodeAddress = 12;
    link->RainFilter = 2;
    link->DistanceWindow = 77;
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    const Strings expected = {"101 ASCII+UNIT", "111 M",    "301 1024", "302 25",   "304 0",
                              "305 0",          "306 1",    "311 0",    "601 9600", "610 12",
                              "701 0",          "702 1000", "801 200",  "802 1013", "351 PIXEL"};
    EXPECT_EQ(Written(), expected);
    EXPECT_EQ(Sent().back(), "C");
    EXPECT_EQ(model->Param(610), 12);
    EXPECT_EQ(model->Param(351), 2);
    EXPECT_EQ(link->RainFilter, 2) << "read back";
    EXPECT_EQ(link->DistanceWindow, 20000) << "the sensor's, not sent";
}

// The user exchanged the on and off thresholds of Q1 and Q2: the logic goes
// out inverted in place of the thresholds, and a retried write inverts it
// only once.
TEST_F(TransferTest, ExchangedThresholdsInvertTheLogicOnce) {
    Start({});
    transfer->Old = {10000, 9900, 1000, 900};
    link->S1OnThreshold = 9900;
    link->S1OffThreshold = 10000;
    link->S2OnThreshold = 900;
    link->S2OffThreshold = 1000;
    model->Faults().rejectedCodes = {"503"};
    host.answers = {TransferAnswer::Retry};
    host.whileAsking = [this] { model->Faults().rejectedCodes.clear(); };
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    const Strings expected = With(Without(kSerialUpload, {"501 10000", "502 9900", "503 1", "504 1000", "505 900"}),
                                  "403 0", {"503 0", "503 0", "506 0"});
    EXPECT_EQ(Written(), expected);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], std::make_pair(std::string("503"), modKOVComm::Event::Rejected));
    EXPECT_EQ(model->Param(503), 0);
    EXPECT_EQ(model->Param(506), 0);
    EXPECT_EQ(model->Param(501), 10000) << "thresholds kept";
    EXPECT_EQ(link->S1OnThreshold, 10000) << "read back";
    EXPECT_EQ(link->S1Logic, 0);
}

// A rejected code asks; Retry writes it again, Ignore goes on with the
// next one; the status says that not everything was taken.
TEST_F(TransferTest, RetryAndIgnoreARejectedCode) {
    Sim::Options options;
    options.rejectedCodes = {"302"};
    Start(options);
    host.answers = {TransferAnswer::Retry, TransferAnswer::Ignore};
    EXPECT_EQ(Run(Mode::Upload), Result::Incomplete);
    EXPECT_EQ(Written(), With(kSerialUpload, "302 25", {"302 25"}));
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[1].second, modKOVComm::Event::Rejected);
    EXPECT_EQ(host.status, TransferText::UploadIncomplete);
    EXPECT_EQ(host.color, StatusRed);
    EXPECT_EQ(host.read, 1);
}

// Abort ends the upload at once, whatever the code: nothing more is asked
// or written (the rain filter neither); the set is read back.
TEST_F(TransferTest, AbortEndsTheUploadAtOnce) {
    Sim::Options options;
    options.rainFilter = true;
    options.rejectedCodes = {"302", "351"};
    Start(options);
    EXPECT_EQ(Run(Mode::Upload), Result::Aborted);
    EXPECT_EQ(Written(), (Strings{"101 ASCII+UNIT", "111 M", "301 1024", "302 25"}));
    EXPECT_EQ(Sent().back(), "C");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.status, TransferText::UploadAborted);
    EXPECT_EQ(host.color, StatusRed);
}

// A silent sensor: the first write asks with "no answer"; the upload ends
// on Abort, and the read-back fails red. A download fails without text and
// shows what was shown before.
TEST_F(TransferTest, SilentSensor) {
    Start({});
    model->Faults().silent = true;
    host.answers = {TransferAnswer::Ignore};
    EXPECT_EQ(Run(Mode::Upload), Result::Aborted);
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0], std::make_pair(std::string("101"), modKOVComm::Event::NoAnswer));
    EXPECT_EQ(host.questions[1].first, "111");
    EXPECT_EQ(host.color, StatusRed);
    EXPECT_EQ(host.status, TransferText::UploadAborted);
    EXPECT_LT(time.ms - started, 15000);

    ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::NotConnected; }));
    link->CommStatus = Comm::Idle;  // as if it had just been connected
    EXPECT_EQ(Run(Mode::Download), Result::NoAnswer);
    EXPECT_EQ(host.status, 0);
    EXPECT_EQ(host.color, StatusRed);
    EXPECT_EQ(host.missing, 1);
}

// Store permanently and factory defaults are decided on the write's own
// answer: accepted, rejected ("ERR" never brings the acceptance the wait
// used to look for) or silent, each without waiting beyond the write.
TEST_F(TransferTest, StoreAndDefaultsWithAnswerRejectionAndSilence) {
    Start({});
    link->DistanceUnit = 0;
    ASSERT_EQ(Run(Mode::Upload), Result::Done);

    EXPECT_EQ(Run(Mode::StorePermanent), Result::Done);
    EXPECT_EQ(Sent(), Strings{"999 "});
    EXPECT_EQ(host.status, TransferText::Stored);
    EXPECT_EQ(host.color, StatusBlack);
    EXPECT_EQ(model->StoredParam(111), 0);

    model->Faults().rejectedCodes = {"999"};
    EXPECT_EQ(Run(Mode::StorePermanent), Result::Rejected);
    EXPECT_EQ(host.status, TransferText::NotStored);
    EXPECT_EQ(host.color, StatusRed);
    EXPECT_LT(time.ms - started, 1000);

    model->Faults().rejectedCodes.clear();
    Mark();
    EXPECT_EQ(transfer->SetFactoryDefaults(), Result::Done);
    EXPECT_EQ(Sent(), (Strings{"000 ", "C"}));
    EXPECT_EQ(host.status, TransferText::DefaultsSet);
    EXPECT_EQ(link->DistanceUnit, 1) << "read back";
    EXPECT_EQ(host.read, 2);

    model->Faults().rejectedCodes = {"000"};
    Mark();
    EXPECT_EQ(transfer->SetFactoryDefaults(), Result::Rejected);
    EXPECT_EQ(Sent(), (Strings{"000 ", "C"}));
    EXPECT_EQ(host.status, TransferText::DefaultsNotSet);
    EXPECT_EQ(host.color, StatusRed) << "the read-back keeps the failure red";
    EXPECT_EQ(host.read, 3);

    model->Faults().rejectedCodes.clear();
    model->Faults().silent = true;
    Mark();
    started = time.ms;
    EXPECT_EQ(transfer->SetFactoryDefaults(), Result::NoAnswer);
    EXPECT_EQ(Sent(), (Strings{"000 ", "C"})) << "the read-back is tried anyway";
    EXPECT_EQ(host.status, TransferText::DefaultsNotSet);
    EXPECT_EQ(host.color, StatusRed);
    EXPECT_LT(time.ms - started, 15000);

    EXPECT_EQ(Run(Mode::StorePermanent), Result::NoAnswer);
    EXPECT_EQ(host.status, TransferText::NotStored);
}

// While measuring: "S" first, the transfer, "M" again afterwards.
TEST_F(TransferTest, MeasurementIsStoppedAndResumed) {
    Start({});
    loop->StartStop();
    ASSERT_TRUE(TickUntil([this] { return link->EventNr == modKOVComm::Event::Distance; }));
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    Strings expected = kSerialUpload;
    expected.insert(expected.begin(), "S");
    expected.push_back("C");
    expected.push_back("M");
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(link->CommStatus, Comm::Measuring);

    Tick(10);
    EXPECT_EQ(Run(Mode::StorePermanent), Result::Done);
    EXPECT_EQ(Sent(), (Strings{"S", "999 ", "M"}));
    Tick(10);
    EXPECT_TRUE(model->Measuring());
}

// One conversation at a time: a sensor slow to answer, a refused code and
// its question left open for ten seconds while measuring. From the first
// write to the last nothing else goes out (no keep-alive, no temperature
// request, no restart of the measurement), and every answer is its own
// write's: only the refused code is asked about, every other value is in
// the sensor. The measurement goes on once the upload is over.
TEST_F(TransferTest, NothingElseGoesOutWhileTheUploadRuns) {
    Sim::Options options;
    options.replyDelayMs = 300;
    options.rejectedCodes = {"702"};
    Start(options);
    loop->SetTemperatureRequests(true);
    link->ReadTempInterval = 1000;
    loop->StartStop();
    Tick(10);
    bool measuredMeanwhile = false;
    host.whileAsking = [&] {
        for (int i = 0; i < 200; ++i) {  // ten seconds of thinking
            Tick();
            measuredMeanwhile = measuredMeanwhile || model->Measuring();
        }
        model->Faults().rejectedCodes.clear();
    };
    host.answers = {TransferAnswer::Retry};
    link->Offset = -250;
    link->Temperature = 215;
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    EXPECT_FALSE(measuredMeanwhile);
    const Strings sent = Sent();
    std::size_t first = 0, last = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i][0] < '0' || sent[i][0] > '9') continue;
        if (first == 0) first = i;
        last = i;
    }
    for (std::size_t i = first; i <= last; ++i) EXPECT_TRUE(sent[i][0] >= '0' && sent[i][0] <= '9') << sent[i];
    Strings expected = With(kSerialUpload, "702 1000", {"702 1000"});
    expected[18] = "701 -250";
    expected[21] = "801 215";
    EXPECT_EQ(Written(), expected);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], std::make_pair(std::string("702"), modKOVComm::Event::Rejected));
    EXPECT_EQ(model->Param(701), -250);
    EXPECT_EQ(model->Param(801), 215);
    EXPECT_EQ(host.status, TransferText::Uploaded);
    EXPECT_EQ(sent.back(), "M");
    if (const char* path = std::getenv("ORA_UPLOAD_LOG")) {
        std::FILE* f = std::fopen(path, "w");
        for (std::size_t i = mark; f && i < model->Commands().size(); ++i)
            std::fprintf(f, "%s\n", Sim::CommandLogLine(model->Commands()[i]).c_str());
        if (f) std::fclose(f);
    }
}

// The sensor takes a new speed: after its "OK" to 601 the port follows, the
// rest of the upload and the read-back go at the new speed, and a lost port
// is opened again at it. (The simulated sensor understands nothing at
// another speed than its own.)
TEST_F(TransferTest, ThePortFollowsASpeedWrite) {
    Sim::Options options;
    options.sensorSpeed = 9600;
    Start(options);
    link->Baudrate = 5;
    link->Offset = -250;
    EXPECT_EQ(Run(Mode::Upload), Result::Done);
    Strings expected = kSerialUpload;
    expected[16] = "601 38400";
    expected[18] = "701 -250";
    EXPECT_EQ(Written(), expected);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.status, TransferText::Uploaded);
    EXPECT_EQ(model->SensorSpeed(), 38400);
    EXPECT_EQ(model->Param(701), -250);
    EXPECT_EQ(link->CommBaudrate(), 38400);
    EXPECT_EQ(link->Baudrate, 5) << "read back at the new speed";
    EXPECT_EQ(loop->Baudrate(), 38400);
    model->SetUnplugged(true);
    Tick(2);
    model->SetUnplugged(false);
    EXPECT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Idle; }));
}

// Every wait ends when the window closes (the host cancels) or the port
// goes, without asking anything.
TEST_F(TransferTest, WaitsEndWhenTheWindowOrThePortGoes) {
    Start({});
    model->Faults().silent = true;
    host.cancel = [this] { return time.ms - started > 200; };
    EXPECT_EQ(Run(Mode::Upload), Result::Aborted);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_LT(time.ms - started, 1000);
    EXPECT_EQ(Run(Mode::StorePermanent), Result::NoAnswer);
    EXPECT_LT(time.ms - started, 1000);

    host.cancel = nullptr;
    model->Faults().silent = false;
    Tick(100);  // the unanswered write runs out, the link is built up again
    ASSERT_TRUE(TickUntil([this] { return link->CommStatus == Comm::Idle; }));
    model->Faults().rejectedCodes = {"301"};
    host.whileAsking = [this] { model->SetUnplugged(true); };
    EXPECT_EQ(Run(Mode::Upload), Result::Aborted);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(Written().back(), "301 1024");
    EXPECT_FALSE(transfer->TransferBusy());
}
