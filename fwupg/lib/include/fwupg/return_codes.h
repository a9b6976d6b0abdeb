// The texts of the oem_ result codes: the one source of them for the library, its exports and
// the event log.
#pragma once

#include <cstdint>

// One row of the text table; the table ends with a row whose code is kReturnCodeTableEnd.
struct ReturnCodeTextRow {
    uint32_t code;
    const char* text;
};

constexpr uint32_t kReturnCodeTableEnd = 0xFFFFFFFFu;

// 26 rows in code order, then the end row.
extern const ReturnCodeTextRow g_ReturnCodeTexts[27];

// The text given for codes the table does not hold.
extern const char kUnsupportedReturnCodeText[];

// The text of `code`: the first row with that code, walking until the end row or a row without
// text; kUnsupportedReturnCodeText when none. The texts are static.
const char* ReturnCodeText(uint32_t code);
