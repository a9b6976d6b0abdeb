// The seven adapter families' components and the factory that picks one by the update tool found
// in the current folder.
#pragma once

#include "CComponent.h"

// The checks the families share: the running system is NT 5.2 (platform 2, major 5, minor above
// 1); "<system folder>\drivers" followed by `name` (which begins with a backslash) exists; the
// service exists and runs.
bool IsWindowsNT52();
bool DriverFileExists(const char16_t* name);
bool IsServiceRunning(const char16_t* name);

class ZorevuviTIRNComponent : public CComponent {
public:
    ~ZorevuviTIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};
class NXETIRNComponent : public CComponent {
public:
    ~NXETIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};
class QuentaTIRNComponent : public CComponent {
public:
    ~QuentaTIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};
class AldernKV9TIRNComponent : public CComponent {
public:
    ~AldernKV9TIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};
class VR9PTIRNComponent : public CComponent {
public:
    ~VR9PTIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};
class VR9TIRNComponent : public CComponent {
public:
    ~VR9TIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};
class YXZQTIRNComponent : public CComponent {
public:
    ~YXZQTIRNComponent() override;
    bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang) override;
};

// The component of the family whose tool is the first "*.exe" of the current folder (sorted by
// name) that names one (whole name, ignoring case); NULL when there is none.
CBaseComponent* CreateComponentForFolder();
