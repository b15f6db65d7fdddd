#pragma once
// Programs a test starts and ends itself (POSIX): a child process that is
// killed and reaped when it goes out of scope, and the simulator tool on a
// pseudo-terminal with its command and value logs.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Waiting.h"

extern char** environ;

namespace testsupport {

class ChildProcess {
public:
    ChildProcess() = default;
    // Starts args[0] with standard output and error into `output` (appended; "" : /dev/null).
    explicit ChildProcess(const std::vector<std::string>& args, const std::string& output = "") { Start(args, output); }
    ~ChildProcess() { Kill(SIGTERM); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& args, const std::string& output = "") {
        Kill(SIGTERM);
        const int out = ::open(output.empty() ? "/dev/null" : output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                               0644);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (out >= 0) {
            posix_spawn_file_actions_adddup2(&actions, out, 1);
            posix_spawn_file_actions_adddup2(&actions, out, 2);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (out >= 0) ::close(out);
        return m_pid > 0;
    }
    // Ends it with `signal` (SIGKILL when that has not ended it within 5 s) and reaps it.
    void Kill(int signal = SIGKILL) {
        if (m_pid <= 0) return;
        ::kill(m_pid, signal);
        if (!WaitFor([this] { return Ended(); }, 5000)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    // True once it has ended (reaped; its exit code in *exitCode, 128 + signal when killed).
    bool Ended(int* exitCode = nullptr) {
        if (m_pid <= 0) return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
        if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_pid = -1;
        return true;
    }
    bool Running() { return !Ended(); }
    void Signal(int signal) const {
        if (m_pid > 0) ::kill(m_pid, signal);
    }

private:
    pid_t m_pid = -1;
};

// ora2orb2-sim (the tool `tool`) with its device at folder/ttySIM and its
// command and value logs beside it.
class SimulatorTool {
public:
    SimulatorTool(const std::string& tool, const std::string& folder, std::vector<std::string> options)
        : link(folder + "/ttySIM"), commandLog(folder + "/commands.jsonl"), valueLog(folder + "/values.jsonl") {
        std::vector<std::string> args = {tool, "--link", link, "--log", commandLog, "--values", valueLog};
        args.insert(args.end(), options.begin(), options.end());
        m_process.Start(args);
        WaitFor([this] { return std::filesystem::exists(link) || !m_process.Running(); });
    }
    bool Running() { return m_process.Running() && std::filesystem::exists(link); }
    // The adapter is pulled (back after --replug-ms).
    void Unplug() const { m_process.Signal(SIGUSR1); }
    // Commands received ("X", "301 4", ...) and values sent (mm), in order.
    std::vector<std::string> Commands() const { return Field(commandLog, "\"command\":\""); }
    std::vector<long long> Values() const {
        std::vector<long long> out;
        for (const std::string& v : Field(valueLog, "\"mm\":")) out.push_back(std::atoll(v.c_str()));
        return out;
    }

    const std::string link, commandLog, valueLog;

private:
    static std::vector<std::string> Field(const std::string& log, const std::string& key) {
        std::ifstream in(log);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) {
            const std::size_t p = line.find(key);
            if (p == std::string::npos) continue;
            const std::size_t start = p + key.size();
            const std::size_t end = line.find_first_of(key.back() == '"' ? "\"" : ",}", start);
            out.push_back(line.substr(start, end - start));
        }
        return out;
    }
    ChildProcess m_process;
};

}  // namespace testsupport
