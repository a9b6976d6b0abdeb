// A double of the engine facade for the shell's tests: every operation records its name, the
// words of a command line and a copy of a configuration request, then answers with a hook of the
// test, or a set result (0 by default).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fwupg/fwupg_kv9.h"

struct FacadeCall {
    std::string slot;
    std::vector<std::string> words;  // the command line, for the Tcl command forms
    cfg_request request{};           // for the configuration setters
    std::vector<uint8_t> data;       // the request's text (with its NUL) or count-prefixed bytes
    uint32_t dirType = 0;
    HostOps ops{};
};

class FacadeDouble : public IFwUpgKv9 {
public:
    using Hook = std::function<int(const FacadeCall&)>;

    std::vector<FacadeCall> calls;
    std::map<std::string, int> results;  // by slot name
    std::map<std::string, Hook> hooks;   // by slot name; run instead of the set result
    int extDirResult = 1;                // has_ext_dir_image: 0 when the image is present

    std::vector<std::string> slots() const;
    const FacadeCall* last(const std::string& slot) const;

    uint32_t nvm_help(char*, uint32_t, uint32_t, uint32_t*) override { return answer(plain("nvm_help")); }
    int nvm_read(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_read", o, c, v); }
    int nvm_show(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_show", o, c, v); }
    int nvm_write(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_write", o, c, v); }
    int nvm_fill(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_fill", o, c, v); }
    int nvm_upgrade(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_upgrade", o, c, v); }
    int nvm_cfg(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_cfg", o, c, v); }
    int nvm_prg(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_prg", o, c, v); }
    int nvm_dump(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_dump", o, c, v); }
    int nvm_dir(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_dir", o, c, v); }
    int nvm_crc(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_crc", o, c, v); }
    int nvm_usrblk(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_usrblk", o, c, v); }
    int nvm_rescfg(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_rescfg", o, c, v); }
    int nvm_crc_check(HostOps o) override { return answer(withOps("nvm_crc_check", o)); }
    int nvm_dir_57710(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_dir_57710", o, c, v); }
    int nvm_crc_57710(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_crc_57710", o, c, v); }
    int nvm_dump_57710(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_dump_57710", o, c, v); }
    int nvm_prg_57710(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_prg_57710", o, c, v); }
    int nvm_update_cfg_e4(HostOps o, int c, Tcl_Obj* const v[]) override
    {
        return command("nvm_update_cfg_e4", o, c, v);
    }
    int nvm_upgrade_mbi(HostOps o, int c, Tcl_Obj* const v[]) override { return command("nvm_upgrade_mbi", o, c, v); }
    int nvm_upgrade_57710(HostOps o, int c, Tcl_Obj* const v[]) override
    {
        return command("nvm_upgrade_57710", o, c, v);
    }
    int nvm_crc_check_57710(HostOps o) override { return answer(withOps("nvm_crc_check_57710", o)); }
    int set_wol(HostOps o, uint32_t) override { return answer(withOps("set_wol", o)); }
    int set_nvm_cfg(HostOps o, cfg_request* r) override { return config("set_nvm_cfg", o, r); }
    int show_nvm_cfg(HostOps o, cfg_request* r) override { return config("show_nvm_cfg", o, r); }
    int find_dir_entry(HostOps o, uint32_t, int32_t*) override { return answer(withOps("find_dir_entry", o)); }
    int has_ext_dir_image(HostOps o, uint32_t dirType, int32_t* out) override;
    int set_cfg_bit24_57710(HostOps o, uint32_t) override { return answer(withOps("set_cfg_bit24_57710", o)); }
    int set_nvm_cfg_57710(HostOps o, cfg_request* r) override { return config("set_nvm_cfg_57710", o, r); }
    int set_nvm_cfg_e4(HostOps o, cfg_request* r) override { return config("set_nvm_cfg_e4", o, r); }
    int show_nvm_cfg_e4(HostOps o, cfg_request* r) override { return config("show_nvm_cfg_e4", o, r); }
    int show_nvm_cfg_57710(HostOps o, cfg_request* r, uint32_t) override { return config("show_nvm_cfg_57710", o, r); }
    int update_nvm_cfg1_e4(HostOps o) override { return answer(withOps("update_nvm_cfg1_e4", o)); }
    int show_active_swim(HostOps o) override { return answer(withOps("show_active_swim", o)); }
    int has_ump_image(HostOps o) override { return answer(withOps("has_ump_image", o)); }
    int has_ipmi_image(HostOps o) override { return answer(withOps("has_ipmi_image", o)); }
    int has_ncsi_image(HostOps o) override { return answer(withOps("has_ncsi_image", o)); }
    int has_mba_image(HostOps o) override { return answer(withOps("has_mba_image", o)); }
    int has_ump_image_57710(HostOps o) override { return answer(withOps("has_ump_image_57710", o)); }
    int has_ipmi_image_57710(HostOps o) override { return answer(withOps("has_ipmi_image_57710", o)); }
    int has_ncsi_image_57710(HostOps o) override { return answer(withOps("has_ncsi_image_57710", o)); }
    int has_mba_image_57710(HostOps o) override { return answer(withOps("has_mba_image_57710", o)); }
    // File operations are the library's own (the image checks read files through them).
    int file_size(const char* path, uint32_t* size) override { return GetFwUpgKv9Instance()->file_size(path, size); }
    int read_file(HostOps o, const char* path, uint8_t* buffer, uint32_t count, uint32_t* countRead) override
    {
        return GetFwUpgKv9Instance()->read_file(o, path, buffer, count, countRead);
    }
    int write_file(HostOps o, const char*, const uint8_t*, uint32_t, uint32_t*) override
    {
        return answer(withOps("write_file", o));
    }
    char* image_version_string(HostOps o, const uint8_t*, uint32_t, uint32_t, const char*, char*, size_t) override
    {
        answer(withOps("image_version_string", o));
        return nullptr;
    }
    long nvm_size(HostOps o) override { return answer(withOps("nvm_size", o)); }
    int lookup_image_type(HostOps o, const char*, uint32_t, uint32_t*) override
    {
        return answer(withOps("lookup_image_type", o));
    }
    int mba_presence_matches(HostOps o, const uint8_t*) override { return answer(withOps("mba_presence_matches", o)); }
    int ncsi_presence_matches(HostOps o, const uint8_t*) override { return answer(withOps("ncsi_presence_matches", o)); }
    int feb_presence_matches(HostOps o, const uint8_t*) override { return answer(withOps("feb_presence_matches", o)); }
    int image_presence_matches(HostOps o, const uint8_t*, uint32_t) override
    {
        return answer(withOps("image_presence_matches", o));
    }
    int get_port_cfg_word(HostOps o, uint32_t, const uint8_t*, uint32_t*) override
    {
        return answer(withOps("get_port_cfg_word", o));
    }
    int get_port_cfg_word_offset(HostOps o, uint32_t, uint32_t*) override
    {
        return answer(withOps("get_port_cfg_word_offset", o));
    }
    int get_ext_phy_type(HostOps o, uint32_t, uint32_t*) override { return answer(withOps("get_ext_phy_type", o)); }
    int get_ext_phy_types(HostOps o, uint32_t, uint32_t) override { return answer(withOps("get_ext_phy_types", o)); }
    int file_version_string(HostOps o, const char*, uint32_t, char*) override
    {
        return answer(withOps("file_version_string", o));
    }
    int nvm_board_check_57710(HostOps o) override { return answer(withOps("nvm_board_check_57710", o)); }

private:
    FacadeCall& plain(const char* slot);
    FacadeCall& withOps(const char* slot, HostOps ops);
    int command(const char* slot, HostOps ops, int objc, Tcl_Obj* const objv[]);
    int config(const char* slot, HostOps ops, cfg_request* request);
    int answer(const FacadeCall& call);
};

// Points gpIFwUpgKv9 at a double for the life of the guard.
class FacadeSwap {
public:
    explicit FacadeSwap(IFwUpgKv9* facade) : previous_(gpIFwUpgKv9) { gpIFwUpgKv9 = facade; }
    ~FacadeSwap() { gpIFwUpgKv9 = previous_; }
    FacadeSwap(const FacadeSwap&) = delete;
    FacadeSwap& operator=(const FacadeSwap&) = delete;

private:
    IFwUpgKv9* previous_;
};
