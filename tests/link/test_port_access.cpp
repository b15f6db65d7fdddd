// Why a serial device cannot be opened: a group the user is not in.
// The refusal is real: a child process gives up root and opens a device node
// stand-in that only its group may use.
#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ScratchFolder.h"
#include "SerialPort.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// A folder everybody may enter, with one device node "tty" owned by
// root:`gid` with `mode`: a terminal's character device (a pseudo-terminal's
// numbers; the kernel opens those only under /dev/pts, so it never opens).
struct DeviceStandIn {
    testsupport::ScratchFolder dir;
    std::string path = dir.File("tty");
    DeviceStandIn(gid_t gid, mode_t mode) {
        ::chmod(dir.path.c_str(), 0755);
        int master = -1, slave = -1;
        struct stat st {};
        EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(::fstat(slave, &st), 0);
        ::close(slave);
        ::close(master);
        EXPECT_EQ(::mknod(path.c_str(), S_IFCHR | 0600, st.st_rdev), 0);
        EXPECT_EQ(::chown(path.c_str(), 0, gid), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    }
};

// What the child saw, packed into its exit status.
enum Seen : int {
    OpenFailed = 1,         // the port did not open
    ReasonIsPermission = 2, // with the system's text for EACCES
    GroupNamed = 4,         // MissingGroupForDevice named the expected group
    AccountInGroup = 8,     // ... and said the account is in it already
    Unexpected = 64,        // could not drop root
};

// Runs the open as an unprivileged user (nobody) in the groups `extra`; returns the Seen bits.
int OpenAsNobody(const std::string& path, const std::string& expectedGroup, const gid_t* extra, int extraCount) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(static_cast<size_t>(extraCount), extra) != 0 || ::setgid(kNoGroup) != 0 ||
            ::setuid(kNobody) != 0)
            ::_exit(Unexpected);
        int seen = 0;
        std::string error;
        auto port = SerialLayer::CreateDevicePort(path);
        if (!port->Open(&error)) seen |= OpenFailed;
        if (error == std::strerror(EACCES)) seen |= ReasonIsPermission;
        const SerialLayer::GroupProblem problem = SerialLayer::MissingGroupForDevice(path);
        if (!expectedGroup.empty() && problem.group == expectedGroup) seen |= GroupNamed;
        if (problem.accountInGroup) seen |= AccountInGroup;
        if (expectedGroup.empty() && !problem.group.empty()) seen |= Unexpected;
        ::_exit(seen);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : Unexpected;
}

// The group of a serial adapter: dialout where the system has it.
gid_t DeviceGroup(std::string* name) {
    if (const group* g = ::getgrnam("dialout")) {
        *name = g->gr_name;
        return g->gr_gid;
    }
    const group* g = ::getgrgid(5);
    *name = g ? g->gr_name : "5";
    return 5;
}

class PortAccess : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    }
};

TEST_F(PortAccess, UserOutsideTheDeviceGroupIsToldWhichGroup) {
    std::string group;
    const gid_t gid = DeviceGroup(&group);
    DeviceStandIn device(gid, 0660);
    EXPECT_EQ(OpenAsNobody(device.path, group, nullptr, 0), OpenFailed | ReasonIsPermission | GroupNamed);
}

TEST_F(PortAccess, NoGroupBlamedWhenTheGroupCannotOpenItEither) {
    std::string group;
    const gid_t gid = DeviceGroup(&group);
    // Only the owner may use it: joining the group would not help.
    DeviceStandIn ownerOnly(gid, 0600);
    EXPECT_EQ(OpenAsNobody(ownerOnly.path, "", nullptr, 0), OpenFailed | ReasonIsPermission);
    // Read-only for the group: the same.
    DeviceStandIn readOnly(gid, 0640);
    EXPECT_EQ(OpenAsNobody(readOnly.path, "", nullptr, 0), OpenFailed | ReasonIsPermission);
}

TEST_F(PortAccess, MemberOfTheGroupOpensAndNothingIsBlamed) {
    std::string group;
    const gid_t gid = DeviceGroup(&group);
    DeviceStandIn device(gid, 0660);
    // The stand-in never opens, but not for permission.
    const int seen = OpenAsNobody(device.path, "", &gid, 1);
    EXPECT_EQ(seen & (ReasonIsPermission | GroupNamed | Unexpected), 0);
}

TEST(PortAccessAnyUser, NothingBlamedForMissingOrOpenableDevices) {
    EXPECT_TRUE(SerialLayer::MissingGroupForDevice("").group.empty());
    EXPECT_TRUE(SerialLayer::MissingGroupForDevice("/dev/ora-no-such-device").group.empty());
    EXPECT_TRUE(SerialLayer::MissingGroupForDevice("/dev/null").group.empty());
}

}  // namespace
