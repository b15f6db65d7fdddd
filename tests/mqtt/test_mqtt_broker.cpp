// The tool publishing to a real broker: Debian's mosquitto, started here on
// a free loopback port with its own configuration, in front of a subscriber
// of the test; the simulated sensor on a pseudo-terminal. Every value arrives
// in order with the tool's own JSON at QoS 0 and 1; a killed tool is seen
// offline through its Last Will; a broker stopped for 5 s neither stops the
// measurement nor the recording, and what could not be delivered is counted;
// logins and TLS.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "CliCommands.h"
#include "MosquittoProcess.h"

using namespace testsupport;
namespace Exit = cli::ExitCode;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The numbers of the tool's closing note "mqtt: D of Q values delivered to ..., X dropped ...".
struct Summary {
    long long delivered = -1, queued = -1, dropped = 0;
};
Summary SummaryOf(const std::string& err) {
    Summary s;
    const std::size_t at = err.rfind("mqtt: ");
    if (at == std::string::npos) return s;
    std::istringstream in(err.substr(at + 6));
    std::string of;
    in >> s.delivered >> of >> s.queued;
    const std::size_t dropped = err.find(" dropped while", at);
    if (dropped != std::string::npos) s.dropped = std::atoll(err.c_str() + err.rfind(", ", dropped) + 2);
    return s;
}

struct Result {
    int code = -1;
    std::string out, err;
};

class Publishing : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ora-mqtt-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        folder = tmpl;
        ASSERT_TRUE(std::filesystem::exists(MosquittoBroker::Program))
            << "mosquitto is missing (scripts/deps.sh installs it)";
        sim = std::make_unique<SimulatorTool>(ORA_SIM_TOOL, folder, std::vector<std::string>{});
        ASSERT_TRUE(sim->Running());
    }
    void TearDown() override {
        sim.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::vector<std::string> Tool(std::vector<std::string> args) const {
        args.insert(args.end(), {"--device", sim->link, "--data-dir", folder});
        return args;
    }
    Result Cli(const std::vector<std::string>& args) const {
        std::ostringstream out, err;
        Result r;
        r.code = cli::Run(Tool(args), out, err);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    std::string folder;
    std::unique_ptr<SimulatorTool> sim;
};

// The rows the tool prints are the payloads that arrive, one for one, in
// order; temperature readings, the retained identity and status come too.
TEST_F(Publishing, EveryValueArrivesInOrderWithTheToolsOwnJson) {
    MosquittoBroker broker(folder);
    ASSERT_TRUE(broker.Start()) << broker.Log();
    for (const char* qos : {"0", "1"}) {
        SCOPED_TRACE(std::string("QoS ") + qos);
        const std::string prefix = std::string("plant/qos") + qos;
        MqttSubscriber sub(broker.port, prefix + "/#", std::string("sub-qos") + qos);
        ASSERT_TRUE(sub.WaitSubscribed());
        const Result r = Cli({"monitor", "--count", "30", "--json", "--temperature-interval", "2.5", "--mqtt",
                              broker.Url(), "--topic", prefix, "--mqtt-qos", qos});
        ASSERT_EQ(r.code, Exit::Ok) << r.err;
        std::vector<std::string> rows = Lines(r.out);
        ASSERT_EQ(rows.size(), 30u);
        for (std::string& row : rows) row = row.substr(0, row.find(",\"temperature_c\"")) + "}";
        ASSERT_TRUE(WaitFor([&] { return sub.Payloads("/distance").size() >= rows.size() &&
                                         !sub.Payloads("/status").empty() &&
                                         sub.Payloads("/status").back() == "offline"; }))
            << r.err;
        EXPECT_EQ(sub.Payloads("/distance"), rows);
        const std::vector<std::string> temperatures = sub.Payloads("/temperature");
        ASSERT_FALSE(temperatures.empty());
        EXPECT_TRUE(Has(temperatures.back(), "\"temperature_c\":23,\"state\":\"ok\"}")) << temperatures.back();
        EXPECT_EQ(sub.Payloads("/status"), (std::vector<std::string>{"online", "offline"}));
        const std::vector<std::string> info = sub.Payloads("/info");
        ASSERT_EQ(info.size(), 1u);
        EXPECT_TRUE(Has(info[0], "\"type\":\"Serial\"") && Has(info[0], "\"serial_no\":\"")) << info[0];
        for (const auto& m : sub.All()) EXPECT_EQ(m.Topic.rfind(prefix + "/", 0), 0u) << m.Topic;
        const Summary s = SummaryOf(r.err);
        EXPECT_EQ(s.delivered, s.queued) << r.err;
    }
}

// A publisher that dies without a word is seen offline: the broker sends
// its Last Will, retained for whoever subscribes later.
TEST_F(Publishing, AKilledToolIsSeenOfflineThroughItsLastWill) {
    MosquittoBroker broker(folder);
    ASSERT_TRUE(broker.Start()) << broker.Log();
    MqttSubscriber sub(broker.port, "ora2orb2/#");
    ASSERT_TRUE(sub.WaitSubscribed());
    ChildProcess tool;
    std::vector<std::string> args = Tool({"monitor", "--quiet", "--mqtt", broker.Url()});
    args.insert(args.begin(), ORA_CLI_TOOL);
    ASSERT_TRUE(tool.Start(args, folder + "/tool.log"));
    ASSERT_TRUE(WaitFor([&] { return sub.Payloads("/distance").size() >= 3; })) << ReadFile(folder + "/tool.log");
    EXPECT_TRUE(ReadFile(folder + "/tool.log").empty()) << "--quiet prints neither rows nor notes";
    EXPECT_EQ(sub.Payloads("/status"), std::vector<std::string>{"online"});
    tool.Kill(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return sub.Payloads("/status").size() == 2; }));
    EXPECT_EQ(sub.Payloads("/status").back(), "offline");
    MqttSubscriber later(broker.port, "ora2orb2/+/status", "later");
    ASSERT_TRUE(WaitFor([&] { return !later.All().empty(); }));
    EXPECT_EQ(later.All().front().Payload, "offline");
    EXPECT_TRUE(later.All().front().Retained);
}

// The broker goes away for 5 s in the middle of a recording at QoS 1: the
// recording goes on and is complete, publishing resumes by itself, and
// what arrives plus what the tool says it dropped is what it measured.
TEST_F(Publishing, ABrokerRestartStopsNeitherMeasurementNorRecording) {
    const struct {
        const char* queue;
        bool drops;
    } cases[] = {{"10000", false}, {"5", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("queue ") + c.queue);
        const std::string dir = folder + "/q" + c.queue;
        std::filesystem::create_directory(dir);
        MosquittoBroker broker(dir);
        ASSERT_TRUE(broker.Start()) << broker.Log();
        MqttSubscriber sub(broker.port, "ora2orb2/#", std::string("restart-") + c.queue);
        ASSERT_TRUE(sub.WaitSubscribed());
        const std::string file = dir + "/values.rec", log = dir + "/tool.log";
        constexpr int Count = 120;
        ChildProcess tool;
        std::vector<std::string> args = Tool({"record", file, "--count", std::to_string(Count), "--mqtt",
                                              broker.Url(), "--mqtt-qos", "1", "--mqtt-queue", c.queue});
        args.insert(args.begin(), ORA_CLI_TOOL);
        ASSERT_TRUE(tool.Start(args, log));
        ASSERT_TRUE(WaitFor([&] { return sub.Payloads("/distance").size() >= 10; })) << ReadFile(log);
        broker.Stop();
        const std::size_t linesAtStop = Lines(ReadFile(file)).size();
        std::this_thread::sleep_for(std::chrono::seconds(5));  // the outage itself
        const std::size_t linesAtRestart = Lines(ReadFile(file)).size();
        EXPECT_GT(linesAtRestart, linesAtStop) << "the recording stood still while the broker was away";
        ASSERT_TRUE(broker.Start()) << broker.Log();
        int code = -1;
        ASSERT_TRUE(WaitFor([&] { return tool.Ended(&code); }, 60000)) << ReadFile(log);
        const std::string err = ReadFile(log);
        EXPECT_EQ(code, Exit::Ok) << err;
        EXPECT_EQ(Lines(ReadFile(file)).size(), static_cast<std::size_t>(Count));
        EXPECT_TRUE(Has(err, "mqtt: lost the broker") && Has(err, "mqtt: connected again")) << err;

        const Summary s = SummaryOf(err);
        EXPECT_EQ(s.delivered + s.dropped, s.queued) << err;
        EXPECT_EQ(s.dropped > 0, c.drops) << err;
        ASSERT_TRUE(WaitFor([&] {
            std::set<std::string> distinct;
            for (const auto& m : sub.All())
                if (!m.Retained && (Has(m.Topic, "/distance") || Has(m.Topic, "/temperature"))) distinct.insert(m.Payload);
            return static_cast<long long>(distinct.size()) == s.delivered;
        })) << err;
        // In order, apart from a value sent again after the break.
        std::vector<std::string> distances = sub.Payloads("/distance");
        distances.erase(std::unique(distances.begin(), distances.end()), distances.end());
        EXPECT_TRUE(std::is_sorted(distances.begin(), distances.end())) << "the times went back";
        if (!c.drops) {
            EXPECT_EQ(distances.size(), static_cast<std::size_t>(Count));
        }
    }
}

// A login from a password file or the environment, a wrong password (a
// clear error and its own exit code), and TLS against a CA made here.
TEST_F(Publishing, LoginsAndTls) {
    ASSERT_TRUE(MakeTestCa(folder)) << "openssl failed";
    const std::string passwords = MakePasswordFile(folder, "kov", "s3cret");
    ASSERT_FALSE(passwords.empty()) << "mosquitto_passwd failed";
    std::ofstream(folder + "/right.pw") << "s3cret\n";
    std::ofstream(folder + "/wrong.pw") << "guess\n";
    const struct {
        const char* name;
        BrokerAccess access;
        std::vector<std::string> options;
        const char* environment;  // the password in the environment, or nullptr
        int code;
    } cases[] = {
        {"password file", {passwords, "", ""}, {"--mqtt-user", "kov", "--mqtt-password-file", folder + "/right.pw"}, nullptr, Exit::Ok},
        {"environment", {passwords, "", ""}, {"--mqtt-user", "kov"}, "s3cret", Exit::Ok},
        {"wrong password", {passwords, "", ""}, {"--mqtt-user", "kov", "--mqtt-password-file", folder + "/wrong.pw"}, nullptr, Exit::BrokerRefused},
        {"no login", {passwords, "", ""}, {}, nullptr, Exit::BrokerRefused},
        {"TLS", {"", folder + "/server.crt", folder + "/server.key"}, {"--mqtt-tls-ca", folder + "/ca.crt"}, nullptr, Exit::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = folder + "/" + c.name;
        std::filesystem::create_directory(dir);
        MosquittoBroker broker(dir, c.access);
        ASSERT_TRUE(broker.Start()) << broker.Log();
        if (c.environment) ::setenv(mqtt::PasswordVariable, c.environment, 1);
        std::vector<std::string> args = {"monitor", "--count", "5", "--mqtt", broker.Url()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = Cli(args);
        ::unsetenv(mqtt::PasswordVariable);
        EXPECT_EQ(r.code, c.code) << r.err;
        if (c.code == Exit::Ok) {
            EXPECT_TRUE(Has(r.err, "values delivered")) << r.err;
            const Summary s = SummaryOf(r.err);
            EXPECT_GE(s.delivered, 5) << r.err;
            EXPECT_EQ(s.delivered, s.queued) << r.err;
        } else {
            EXPECT_TRUE(Has(r.err, "refused the login") && Has(r.err, "--mqtt-user")) << r.err;
            EXPECT_TRUE(r.out.empty() || Lines(r.out).size() == 1) << "measured although the login was refused";
        }
    }
}

}  // namespace
