// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/network_namespaces.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

constexpr std::string_view kPrefix = "tessaline-test-";

std::string FirstExecutable(std::initializer_list<const char*> candidates)
{
    for (const char* path : candidates) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return {};
}

// Runs a program with an argument vector (never a shell); its exit status, or -1, and what it said.
int RunTool(const std::vector<std::string>& argv, std::string& output)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    if (spawned != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Namespaces named after a process that is gone were left by a run that crashed.
void RemoveStaleNamespaces(const std::string& ip)
{
    DIR* directory = ::opendir("/run/netns");
    if (!directory)
        return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kPrefix))
            continue;
        const pid_t owner = static_cast<pid_t>(std::atol(std::string(name.substr(kPrefix.size())).c_str()));
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
            stale.emplace_back(name);
    }
    ::closedir(directory);
    for (const std::string& name : stale) {
        std::string ignored;
        RunTool({ip, "netns", "delete", name}, ignored);
    }
}

}  // namespace

std::string IpCommand()
{
    return FirstExecutable({"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"});
}

bool RunInNetworkNamespace(const std::string& name, const std::function<void()>& body)
{
    bool entered = false;
    // The network namespace is a property of the thread, so the caller's own stays as it was.
    std::thread([&] {
        const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        entered = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (entered)
            body();
    }).join();
    return entered;
}

NatNetwork::NatNetwork()
{
    const std::string ip = IpCommand();
    const std::string iptables = FirstExecutable({"/usr/sbin/iptables", "/sbin/iptables"});
    if (::geteuid() != 0) {
        why = "making network namespaces needs root";
        return;
    }
    if (ip.empty() || iptables.empty()) {
        why = "iproute2 (ip) and iptables are needed (tools/install-deps installs them)";
        return;
    }
    RemoveStaleNamespaces(ip);
    static std::atomic<int> counter{0};
    const std::string base = std::string(kPrefix) + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-";
    client = base + "client";
    router = base + "router";
    server = base + "server";
    for (const std::string& name : {client, router, server}) {
        if (!Run({ip, "netns", "add", name}))
            return;
        made.push_back(name);
    }
    const std::vector<std::vector<std::string>> steps = {
        {ip, "-n", router, "link", "add", "inside", "type", "veth", "peer", "name", "uplink", "netns", client},
        {ip, "-n", router, "link", "add", "outside", "type", "veth", "peer", "name", "eth0", "netns", server},
        {ip, "-n", client, "address", "add", std::string(kClientAddress) + "/24", "dev", "uplink"},
        {ip, "-n", router, "address", "add", "10.0.0.1/24", "dev", "inside"},
        {ip, "-n", router, "address", "add", "198.51.100.1/24", "dev", "outside"},
        {ip, "-n", server, "address", "add", std::string(kServerAddress) + "/24", "dev", "eth0"},
        {ip, "-n", client, "link", "set", "lo", "up"},
        {ip, "-n", client, "link", "set", "uplink", "up"},
        {ip, "-n", router, "link", "set", "lo", "up"},
        {ip, "-n", router, "link", "set", "inside", "up"},
        {ip, "-n", router, "link", "set", "outside", "up"},
        {ip, "-n", server, "link", "set", "lo", "up"},
        {ip, "-n", server, "link", "set", "eth0", "up"},
        // The server has no route to 10.0.0.0/8: only the router's rewriting lets answers back.
        {ip, "-n", client, "route", "add", "default", "via", "10.0.0.1"},
        {ip, "netns", "exec", router, iptables, "-w", "-t", "nat", "-A", "POSTROUTING", "-s", "10.0.0.0/8", "-o",
         "outside", "-j", "MASQUERADE"},
    };
    for (const std::vector<std::string>& step : steps) {
        if (!Run(step))
            return;
    }
    bool forwarding = false;
    RunInNetworkNamespace(router, [&forwarding] {
        const int fd = ::open("/proc/sys/net/ipv4/ip_forward", O_WRONLY | O_CLOEXEC);
        forwarding = fd >= 0 && ::write(fd, "1", 1) == 1;
        if (fd >= 0)
            ::close(fd);
    });
    if (!forwarding)
        why = "could not turn on forwarding in the router namespace";
}

NatNetwork::~NatNetwork()
{
    const std::string ip = IpCommand();
    for (auto name = made.rbegin(); name != made.rend(); ++name) {
        std::string ignored;
        RunTool({ip, "netns", "delete", *name}, ignored);
    }
}

bool NatNetwork::Run(const std::vector<std::string>& argv)
{
    std::string output;
    if (RunTool(argv, output) == 0)
        return true;
    why.clear();
    for (const std::string& arg : argv)
        why += (why.empty() ? "" : " ") + arg;
    why += " failed: " + output;
    return false;
}
