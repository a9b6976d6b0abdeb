// The interactive or silent update loop: every firmware entry of every adapter, asked for
// (unless silent) and flashed one by one.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tirn {

class UserInterface;
struct AdapterList;

enum class Answer { Update = 0, Skip = 1, Quit = 2, NextAdapter = 3 };

// Asks whether to update entry `entry` of adapter `adapter`; reads the answer from `input`.
Answer PromptForUpdate(UserInterface& ui, uint32_t flags, const AdapterList& list, uint32_t adapter,
                       uint32_t entry, FILE* input);

// 1 when at least one adapter was updated and no flash failed, 3 when nothing was updated and
// nothing failed, 0 when a flash failed or the loop was quit after an adapter was updated.
int UpdateAdapters(UserInterface& ui, uint32_t flags, const AdapterList& list, FILE* input);

}  // namespace tirn
