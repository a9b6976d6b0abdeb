// The kinds of power cut that tests strike one NVRAM write with, as fault rules of the simulated
// management library.
#pragma once

#include <cstdint>

#include "sim/adapter_builder.h"

namespace sim {

enum class Cut {
    Between,  // the power goes before the write
    Inside,   // half the write is stored, then the power goes
    Refused,  // the write fails and the program carries on
    Erase,    // as Inside, on flash that erases 4 KiB sectors before programming them
};

inline const char* CutName(Cut c)
{
    switch (c) {
    case Cut::Between: return "Between";
    case Cut::Inside: return "Inside";
    case Cut::Refused: return "Refused";
    case Cut::Erase: return "Erase";
    }
    return "?";
}

constexpr uint32_t kEraseSector = 4096;

// Sets the cut of `rule` for `cut`; `inside` is how many bytes of the struck write a cut inside it
// stores.
inline void SetCut(FaultRule& rule, Cut cut, uint32_t inside)
{
    rule.cut_after = cut == Cut::Between ? 0 : inside;
    rule.exit_after_cut = cut != Cut::Refused;
    if (cut == Cut::Erase) rule.erase_sector = kEraseSector;
}

}  // namespace sim
