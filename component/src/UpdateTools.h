// The adapter families' console update tools: which program a key file names, the family's
// string offset, and the console title the program is started with.
#pragma once

struct UpdateTool {
    const char16_t* keyNames[2];  // names looked for in the key-file path (case-sensitive substrings)
    const char16_t* program;      // the program started, by bare name
    unsigned stringOffset;        // the family's text in each block of seven string ids
    const char16_t* title;
    // The tool refuses rewrite and downgrade together with force, so force goes alone.
    bool forceGoesAlone;
};

// The tool whose name the key-file path holds (first row in table order), or NULL.
const UpdateTool* GetUpdateToolName(const char16_t* keyFile);
// The console title for a key file (rows tested in the title order), or NULL.
const char16_t* GetUpdateToolTitle(const char16_t* keyFile);
// True when the key file names one of the tools that need a host of version 6.0 or later for an
// update from a report.
bool NeedsHostVersionCheck(const char16_t* keyFile);
