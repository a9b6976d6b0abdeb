// Test support: a temporary system root and the simulated library bound by ordinal through the
// interface header's table, as the front end binds it.
#pragma once

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "sim/adapter_builder.h"
#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

namespace simtest {

inline constexpr const char* kGuid = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";

inline std::string bin_dir()
{
    const char* dir = std::getenv("FWUPG_BIN_DIR");
    return dir ? dir : ".";
}

// A fresh system root named by FWUPG_SYSTEM_ROOT for the test's lifetime.
class TempRoot {
public:
    TempRoot()
    {
        char tmpl[] = "/tmp/simrootXXXXXX";
        path = mkdtemp(tmpl);
        setenv("FWUPG_SYSTEM_ROOT", path.c_str(), 1);
    }
    ~TempRoot()
    {
        std::filesystem::remove_all(path);
        unsetenv("FWUPG_SYSTEM_ROOT");
    }
    std::string path;
};

// YXMAPIa.so opened with dlopen; every ordinal bound through the ordinal table.
class Library {
public:
    Library()
    {
        std::string file = bin_dir() + "/" + yxmapi::kLibraryFileName;
        handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) ADD_FAILURE() << dlerror();
    }
    ~Library()
    {
        if (handle_) dlclose(handle_);
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

    uint32_t init() const { return fn<34>()(0); }
    uint32_t shutdown() const { return fn<3>()(); }

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
