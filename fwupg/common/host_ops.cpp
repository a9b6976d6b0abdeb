#include "fwupg/host_ops.h"

#include <cstdio>
#include <cstring>

HostOps* g_pHostOps = nullptr;

extern "C" void push_host_ops(HostOpsFrame* frame, HostOps* ops)
{
    frame->previous = g_pHostOps;
    g_pHostOps = ops;
}

extern "C" void pop_host_ops(HostOpsFrame* frame)
{
    g_pHostOps = frame->previous;
}

extern "C" HostOps* get_current_host_ops(HostOps* out)
{
    if (!g_pHostOps || !out) {
        std::fprintf(stderr, "get_current_host_ops: no engine operation in progress\n");
        return nullptr;
    }
    std::memcpy(out, g_pHostOps, sizeof(HostOps));
    return out;
}
