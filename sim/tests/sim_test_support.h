// Test support: a temporary system root and the simulated library bound by ordinal through the
// interface header's table, as the front end binds it.
#pragma once

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "platform/testing/bin_dir.h"
#include "sim/adapter_builder.h"
#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

namespace simtest {

namespace ord = yxmapi::ord;

inline constexpr const char* kGuid = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";

using platform::testing::bin_dir;

// A fresh system root named by FWUPG_SYSTEM_ROOT for the test's lifetime; the root named before
// comes back after it.
class TempRoot {
public:
    TempRoot()
    {
        char tmpl[] = "/tmp/simrootXXXXXX";
        path = mkdtemp(tmpl);
        if (const char* old = std::getenv("FWUPG_SYSTEM_ROOT")) previous_ = old;
        setenv("FWUPG_SYSTEM_ROOT", path.c_str(), 1);
    }
    ~TempRoot()
    {
        std::filesystem::remove_all(path);
        if (previous_.empty()) unsetenv("FWUPG_SYSTEM_ROOT");
        else setenv("FWUPG_SYSTEM_ROOT", previous_.c_str(), 1);
    }
    std::string path;

private:
    std::string previous_;
};

// YXMAPIa.so opened with dlopen; every ordinal bound through the ordinal table. The library
// stays loaded for the whole process, so each Library starts with an empty journal and zeroed
// counters and ends its session when it goes (declare it after the TempRoot it uses).
class Library {
public:
    Library()
    {
        std::string file = bin_dir() + "/" + yxmapi::kLibraryFileName;
        handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) ADD_FAILURE() << dlerror();
        else extra<YxSimResetJournalFn>("yxsim_reset_journal")();
    }
    ~Library()
    {
        if (!handle_) return;
        shutdown();
        dlclose(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    template <uint32_t Ordinal>
    typename yxmapi::OrdinalFn<Ordinal>::type fn() const
    {
        void* sym = handle_ ? dlsym(handle_, yxmapi::symbol_for_ordinal(Ordinal)) : nullptr;
        if (!sym) ADD_FAILURE() << "ordinal " << Ordinal << " not exported";
        return reinterpret_cast<typename yxmapi::OrdinalFn<Ordinal>::type>(sym);
    }
    template <class Fn>
    Fn extra(const char* name) const
    {
        void* sym = handle_ ? dlsym(handle_, name) : nullptr;
        if (!sym) ADD_FAILURE() << name << " not exported";
        return reinterpret_cast<Fn>(sym);
    }

    uint32_t init() const { return fn<ord::kInitializeEx>()(0); }
    uint32_t shutdown() const { return fn<ord::kShutdown>()(); }

    std::vector<YxSimCall> journal() const
    {
        uint32_t n = extra<YxSimJournalSizeFn>("yxsim_journal_size")();
        std::vector<YxSimCall> calls(n);
        calls.resize(extra<YxSimJournalReadFn>("yxsim_journal_read")(0, calls.data(), n));
        return calls;
    }
    YxSimCounters counters() const
    {
        YxSimCounters c{};
        extra<YxSimGetCountersFn>("yxsim_get_counters")(&c);
        return c;
    }

private:
    void* handle_ = nullptr;
};

}  // namespace simtest

namespace simtest {

// A yxmapi_probe child: another process and so another session of the library.
class Probe {
public:
    Probe()
    {
        int to_child[2], from_child[2];
        if (pipe(to_child) != 0 || pipe(from_child) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        std::string exe = bin_dir() + "/yxmapi_probe";
        pid_ = fork();
        if (pid_ == 0) {
            dup2(to_child[0], 0);
            dup2(from_child[1], 1);
            close(to_child[1]);
            close(from_child[0]);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(to_child[0]);
        close(from_child[1]);
        in_ = fdopen(to_child[1], "w");
        out_ = fdopen(from_child[0], "r");
    }
    ~Probe()
    {
        wait();
        if (out_) fclose(out_);
    }
    // Sends one command and returns the answer line (empty when the child has gone).
    std::string run(const std::string& command)
    {
        std::fprintf(in_, "%s\n", command.c_str());
        std::fflush(in_);
        char line[1 << 16];
        if (!std::fgets(line, sizeof line, out_)) return {};
        std::string s(line);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    // The status of a command's answer, or ~0 when the child answered nothing.
    uint32_t status(const std::string& command)
    {
        std::string answer = run(command);
        if (answer.rfind("status=", 0) != 0) return ~0u;
        return static_cast<uint32_t>(std::strtoul(answer.c_str() + 7, nullptr, 16));
    }
    // Ends the child (closing its input) and returns its exit status as waitpid gives it.
    int wait()
    {
        if (in_) {
            fclose(in_);
            in_ = nullptr;
        }
        int st = 0;
        if (pid_ > 0) waitpid(pid_, &st, 0);
        pid_ = -1;
        return st;
    }
    void kill_now()
    {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        wait();
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

}  // namespace simtest
