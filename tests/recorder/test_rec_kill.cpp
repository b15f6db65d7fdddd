// A recording killed with SIGKILL: every line the recorder had written is in
// the file and reads back; at most the line in flight is missing or cut.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "ScratchFolder.h"
#include "modKOVComm.h"
#include "modRecFile.h"

extern char** environ;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;  // its standard output
};

Child Spawn(const std::string& file) {
    Child child;
    int fds[2];
    if (::pipe(fds) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::string program = REC_KILL_CHILD;
    char* argv[] = {program.data(), const_cast<char*>(file.c_str()), nullptr};
    if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv, environ) != 0) child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    child.out = fds[0];
    return child;
}

// Reads the child's line counts; returns the highest seen. Stops once
// `until` is reached (or the pipe ends, or 20 s pass without output).
long long ReadCounts(int fd, std::string& pending, long long until) {
    long long highest = 0;
    char buffer[4096];
    while (highest < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            highest = std::max(highest, std::atoll(pending.substr(0, nl).c_str()));
            pending.erase(0, nl + 1);
        }
    }
    return highest;
}

}  // namespace

TEST(RecKill, EveryWrittenLineSurvivesSigkill) {
    const testsupport::ScratchFolder folder;
    const std::string& dir = folder.path;
    // Killed after different numbers of lines, so that the kill falls at
    // different points of the writing.
    for (long long target : {1LL, 200LL, 3000LL, 12345LL}) {
        SCOPED_TRACE("killed after " + std::to_string(target) + " lines");
        const std::string file = dir + "/SAVE" + std::to_string(target) + ".rec";
        Child child = Spawn(file);
        ASSERT_GT(child.pid, 0);
        std::string pending;
        long long reported = ReadCounts(child.out, pending, target);
        ASSERT_GE(reported, target) << "the recording process stopped early";
        ASSERT_EQ(::kill(child.pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        // What it said before it died.
        reported = std::max(reported, ReadCounts(child.out, pending, 1LL << 62));
        ::close(child.out);

        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        long long complete = 0;
        size_t pos = 0;
        double lastTime = 0;
        for (size_t end; (end = all.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
            modRecFile::Line line;
            ASSERT_TRUE(modRecFile::ParseLine(all.substr(pos, end - pos), line))
                << "line " << complete + 1 << ": " << all.substr(pos, end - pos);
            EXPECT_GT(line.Time, lastTime) << "line " << complete + 1;
            EXPECT_TRUE((line.Distance > 0 && line.Distance < 100000) || line.Distance == modKOVComm::NoEchoValue)
                << line.Distance;
            lastTime = line.Time;
            ++complete;
        }
        // Every line reported as written is there; at most the one in
        // flight (written but not yet reported, or cut) is beyond that.
        EXPECT_GE(complete, reported);
        EXPECT_LE(complete, reported + 1);
        EXPECT_LT(all.size() - pos, 80u) << "more than one line cut off";
        EXPECT_EQ(all.find('\0'), std::string::npos);
    }
}
