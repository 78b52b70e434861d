// Shared set-up of the end-to-end tests: a simulated network, hostpick
// started in it with the test resources, and its window on the test Xvfb.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/lab/netsim.h"
#include "tests/lab/poll.h"
#include "tests/lab/xdriver.h"

/// A -vornaddress value for a display manager on 127.0.0.1 at `port`:
/// family 2, the port, the address.
inline std::string VornAddress(int port) {
    return Hex({0, 2, static_cast<unsigned char>(port >> 8),
                static_cast<unsigned char>(port), 127, 0, 0, 1});
}

class EndToEnd : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs the test Xvfb";
    }

    /// Starts hostpick with `args` after the test resources and waits for
    /// its window.
    Program Start(const std::vector<std::string> &args,
                  const std::vector<std::string> &resources = {}) {
        title = "hostpick-test-" + std::to_string(getpid()) + "-" +
                std::to_string(starts++);
        std::vector<std::string> all = TestResources(title);
        all.insert(all.end(), resources.begin(), resources.end());
        all.insert(all.end(), args.begin(), args.end());
        Program p = net.Run(all);
        window = x.WaitForWindow(title);
        EXPECT_NE(window, 0u) << "no window; stderr: " << p.Stderr();
        return p;
    }

    /// The simplest lab: one LAN, one host at 10.55.0.11 that answers every
    /// query with `replies`, the network started.  Returns the host's index.
    int OneHost(std::vector<Bytes> replies = {}) {
        net.AddLan(0);
        int host = net.AddHost(0, 11, std::move(replies));
        net.Start();
        return host;
    }

    /// Waits until the simulated hosts have received `n` datagrams, and
    /// then until the list shows `rows` rows: by default, a row for each
    /// host that has replied.  True when they have received them.
    bool AwaitArrivals(size_t n, int ms = 3000, int rows = -1) {
        bool arrived =
            PollUntil([&] { return net.Arrivals().size() >= n; }, ms);
        AwaitRows(rows >= 0 ? rows : net.Replying(), ms);
        return arrived;
    }

    /// Waits until the list shows at least `rows` rows; true if it does.
    /// Without a window on the test's display, there are none to see.
    bool AwaitRows(int rows, int ms = 3000) {
        return window != 0 &&
               PollUntil([&] { return x.DrawnRows(window) >= rows; }, ms, 20);
    }

    /// Selects `row` and presses Return.
    void PickRow(int row) {
        x.ClickRow(window, row);
        x.Key(window, "Return");
    }

    /// Selects `row` and accepts it with the Return key; returns what the
    /// program printed, after checking that it ended with status 0.
    std::string AcceptRow(Program &p, int row) {
        PickRow(row);
        EXPECT_EQ(p.Wait(5000), 0) << p.Stderr();
        return p.Stdout();
    }

    /// Starts hostpick reporting to a display manager of the network's,
    /// with `targets`, checks that it lists a single row, accepts it, and
    /// returns the reports the display manager received.
    std::vector<Bytes>
    AcceptTheOnlyRow(const std::vector<std::string> &targets) {
        std::vector<std::string> args = {"-vornaddress",
                                         VornAddress(net.ListenForReport()),
                                         "-clientaddress", "0a000005"};
        args.insert(args.end(), targets.begin(), targets.end());
        Program p = Start(args);
        AwaitArrivals(targets.size());
        PickRow(1);
        EXPECT_EQ(p.Wait(500), -1) << "a second row";
        AcceptRow(p, 0);
        return net.Reports(300);
    }

    /// With a dual-stack host at 10.55.0.11 and fd00:55::11 whose names are
    /// set up, started: checks that its two addresses are one row, and
    /// that accepting it reports both.
    void ExpectOneRowReportingBoth() {
        std::vector<Bytes> reports =
            AcceptTheOnlyRow({"10.55.0.11", "fd00:55::11"});
        ASSERT_EQ(reports.size(), 2u);
        std::sort(reports.begin(), reports.end());
        EXPECT_EQ(reports[0].size(), 10u + 4) << "the IPv4 address";
        EXPECT_EQ(reports[1].size(), 10u + 16) << "the IPv6 address";
    }

    Network net;
    XDriver x;
    std::string title;
    Window window = 0;
    int starts = 0;
};

/// The standard-output form for a host at 10.55.0.<octet>.
inline std::string Printed(int octet, int lan = 0) {
    return "0\n10 " + std::to_string(55 + lan) + " 0 " + std::to_string(octet) +
           "\n";
}

// An X server of the test's own, which it may end, started as `server`
// says (Xvfb, Xephyr, and their options); its display name, or an empty
// one when it would not start.
inline std::string StartPrivateX(pid_t *pid, std::vector<std::string> server) {
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    // Made before the fork, after which this process's threads forbid
    // allocating.
    server.insert(server.begin() + 1,
                  {"-displayfd", std::to_string(fds[1]), "-nolisten", "tcp"});
    std::vector<char *> argv;
    for (std::string &word : server)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    *pid = fork();
    if (*pid == 0) {
        close(fds[0]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the number and its newline apart, and dies of SIGPIPE if
    // the pipe is closed between the two.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    return number.empty() ? ""
                          : ":" + std::to_string(std::atoi(number.c_str()));
}

// Runs `test` with $DISPLAY naming `display`, then the test's own again.
template <typename Test> void On(const std::string &display, Test test) {
    std::string shared = std::getenv("DISPLAY");
    setenv("DISPLAY", display.c_str(), 1);
    test();
    setenv("DISPLAY", shared.c_str(), 1);
}

// Runs `test` on an X server of its own, started as StartPrivateX starts
// `server`, and ends that server after it.
template <typename Test>
void OnPrivateX(std::vector<std::string> server, Test test) {
    pid_t pid = -1;
    std::string display = StartPrivateX(&pid, std::move(server));
    EXPECT_NE(display, "") << "the X server did not start";
    if (!display.empty())
        On(display, test);
    if (pid > 0 && kill(pid, SIGTERM) == 0)
        waitpid(pid, nullptr, 0);
}
