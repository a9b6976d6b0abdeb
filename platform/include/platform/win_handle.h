// The process's handle table. A HANDLE is a number that names an entry, never a pointer, so a
// stale or made-up handle is detected (error 6) instead of being followed.
#pragma once

#include <memory>

#include "platform/win_types.h"

namespace platform {

// What a handle stands for; the entry's destructor releases the resource.
struct HandleObject {
    virtual ~HandleObject() = default;
};

win::HANDLE register_handle(std::shared_ptr<HandleObject> object);
std::shared_ptr<HandleObject> lookup_handle(win::HANDLE handle);

template <typename T>
std::shared_ptr<T> lookup_handle_as(win::HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(lookup_handle(handle));
}

}  // namespace platform

namespace win {
// Removes the entry; FALSE with error 6 for a handle that names none.
BOOL CloseHandle(HANDLE handle);
}  // namespace win
