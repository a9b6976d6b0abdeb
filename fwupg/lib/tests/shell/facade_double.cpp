#include "facade_double.h"

#include <cstring>

std::vector<std::string> FacadeDouble::slots() const
{
    std::vector<std::string> names;
    for (const FacadeCall& c : calls) names.push_back(c.slot);
    return names;
}

const FacadeCall* FacadeDouble::last(const std::string& slot) const
{
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->slot == slot) return &*it;
    return nullptr;
}

FacadeCall& FacadeDouble::plain(const char* slot)
{
    calls.push_back(FacadeCall{});
    calls.back().slot = slot;
    return calls.back();
}

FacadeCall& FacadeDouble::withOps(const char* slot, HostOps ops)
{
    FacadeCall& call = plain(slot);
    call.ops = ops;
    return call;
}

int FacadeDouble::command(const char* slot, HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FacadeCall& call = withOps(slot, ops);
    for (int i = 0; i < objc; ++i) call.words.emplace_back(Tcl_GetString(objv[i]));
    return answer(call);
}

int FacadeDouble::config(const char* slot, HostOps ops, cfg_request* request)
{
    FacadeCall& call = withOps(slot, ops);
    call.request = *request;
    const auto* data = static_cast<const uint8_t*>(request->data);
    if (data && request->option_flag == 0x8000000)
        call.data.assign(data, data + 1 + data[0]);
    else if (data)
        call.data.assign(data, data + std::strlen(static_cast<const char*>(request->data)) + 1);
    return answer(call);
}

int FacadeDouble::has_ext_dir_image(HostOps ops, uint32_t dirType, int32_t* out)
{
    FacadeCall& call = withOps("has_ext_dir_image", ops);
    call.dirType = dirType;
    if (out) *out = extDirResult == 0;
    return extDirResult;
}

int FacadeDouble::answer(const FacadeCall& call)
{
    const FacadeCall copy = call;  // hooks may record further calls
    auto hook = hooks.find(copy.slot);
    if (hook != hooks.end()) return hook->second(copy);
    auto result = results.find(copy.slot);
    return result == results.end() ? 0 : result->second;
}
