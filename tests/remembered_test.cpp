#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "selection/remembered.h"

namespace {

class RememberedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/hostpick-remembered-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        path = folder + "/state/hostpick/hosts";
    }
    void TearDown() override {
        std::system(("rm -rf " + folder).c_str());
    }
    void Write(const std::string &text) {
        std::system(("mkdir -p " + folder + "/state/hostpick").c_str());
        std::ofstream(path) << text;
    }
    std::string folder, path;
};

TEST_F(RememberedFiles, GoodLinesAreReadAndBadOnesCounted) {
    const struct {
        const char *text;
        std::size_t hosts;
        int bad;
        const char *firstName;
    } rows[] = {
        {"", 0, 0, ""},
        {"10.0.0.1 alpha\n", 1, 0, "alpha"},
        {"10.0.0.1 alpha\n10.0.0.2\n", 2, 0, "alpha"},
        {"10.0.0.1 two words\n", 1, 0, "two words"},
        {"2001:db8::1 six\nfe80::1%eth0 link\n", 2, 0, "six"},
        {"garbage\n10.0.0.1 alpha\n", 1, 1, "alpha"},
        {"alpha 10.0.0.1\n\n300.1.1.1 x\n", 0, 3, ""},
        {"10.0.0.1 alpha\n10.0.0.1 again\n", 1, 0, "alpha"},
        {"10.0.0.1 no newline at the end", 1, 0, "no newline at the end"},
        {"\x01\x02\xff\xfe binary\n", 0, 1, ""},
    };
    for (const auto &row : rows) {
        Write(row.text);
        RememberedFile file = ReadRemembered(path);
        EXPECT_EQ(file.hosts.size(), row.hosts) << row.text;
        EXPECT_EQ(file.badLines, row.bad) << row.text;
        EXPECT_EQ(file.hosts.empty() ? "" : file.hosts[0].name, row.firstName)
            << row.text;
        EXPECT_EQ(file.unreadable, "");
    }
}

TEST_F(RememberedFiles, NoFileIsNoHostAndAFolderIsUnreadable) {
    EXPECT_TRUE(ReadRemembered(path).hosts.empty());
    EXPECT_EQ(ReadRemembered(path).unreadable, "");
    EXPECT_NE(ReadRemembered(folder).unreadable, "") << "a folder";
}

TEST_F(RememberedFiles, TheNewestComesFirstOnceAndTwentyAreKept) {
    std::vector<Remembered> hosts;
    for (int i = 0; i < 25; i++)
        hosts = WithNewest(hosts, {"10.0.0." + std::to_string(i), "h"});
    ASSERT_EQ(hosts.size(), kMostRemembered);
    EXPECT_EQ(hosts.front().address, "10.0.0.24");
    EXPECT_EQ(hosts.back().address, "10.0.0.5");
    hosts = WithNewest(hosts, {"10.0.0.10", "again"});
    EXPECT_EQ(hosts.size(), kMostRemembered);
    EXPECT_EQ(hosts.front().name, "again");
    EXPECT_EQ(std::count_if(
                  hosts.begin(), hosts.end(),
                  [](const Remembered &h) { return h.address == "10.0.0.10"; }),
              1);
}

// Written whole, mode 0600, its folder made; read back as written; a
// write that fails leaves the file as it was.
TEST_F(RememberedFiles, AWriteReplacesTheFileWholeOrNotAtAll) {
    std::vector<Remembered> hosts = {{"10.0.0.2", "beta\nbroken"},
                                     {"2001:db8::1", "six"}};
    ASSERT_EQ(WriteRemembered(path, hosts), 0);
    struct stat s {};
    ASSERT_EQ(stat(path.c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 0777, 0600u);
    EXPECT_NE(access((path + ".new").c_str(), F_OK), 0);
    RememberedFile file = ReadRemembered(path);
    ASSERT_EQ(file.hosts.size(), 2u);
    EXPECT_EQ(file.hosts[0].name, "beta?broken");
    EXPECT_EQ(file.badLines, 0);

    chmod((folder + "/state/hostpick").c_str(), 0500);
    if (geteuid() != 0) { // root writes anyway
        EXPECT_NE(WriteRemembered(path, {{"10.0.0.9", "x"}}), 0);
    } else {
        EXPECT_EQ(WriteRemembered(path, {{"10.0.0.9", "x"}}), 0);
    }
    chmod((folder + "/state/hostpick").c_str(), 0700);
    EXPECT_EQ(ReadRemembered(path).hosts.size(), geteuid() != 0 ? 2u : 1u);
    EXPECT_NE(WriteRemembered("/proc/hostpick/hosts", hosts), 0);
}

TEST(RememberedPlace, FollowsXdgStateHomeElseHome) {
    const char *state = std::getenv("XDG_STATE_HOME");
    const char *home = std::getenv("HOME");
    setenv("HOME", "/home/p", 1);
    setenv("XDG_STATE_HOME", "/var/s", 1);
    EXPECT_EQ(RememberedPath(), "/var/s/hostpick/hosts");
    setenv("XDG_STATE_HOME", "relative", 1);
    EXPECT_EQ(RememberedPath(), "/home/p/.local/state/hostpick/hosts");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(RememberedPath(), "/home/p/.local/state/hostpick/hosts");
    unsetenv("HOME");
    EXPECT_EQ(RememberedPath(), "");
    if (state != nullptr)
        setenv("XDG_STATE_HOME", state, 1);
    if (home != nullptr)
        setenv("HOME", home, 1);
}

} // namespace
