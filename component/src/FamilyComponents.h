// The seven adapter families' components and the factory that picks one by the update tool found
// in the current folder.
#pragma once

#include "CComponent.h"

class ZorevuviTIRNComponent : public CComponent {
public:
    ~ZorevuviTIRNComponent() override;
};
class NXETIRNComponent : public CComponent {
public:
    ~NXETIRNComponent() override;
};
class QuentaTIRNComponent : public CComponent {
public:
    ~QuentaTIRNComponent() override;
};
class AldernKV9TIRNComponent : public CComponent {
public:
    ~AldernKV9TIRNComponent() override;
};
class VR9PTIRNComponent : public CComponent {
public:
    ~VR9PTIRNComponent() override;
};
class VR9TIRNComponent : public CComponent {
public:
    ~VR9TIRNComponent() override;
};
class YXZQTIRNComponent : public CComponent {
public:
    ~YXZQTIRNComponent() override;
};

// The component of the family whose tool is the first "*.exe" of the current folder (sorted by
// name) that names one (whole name, ignoring case); NULL when there is none.
CBaseComponent* CreateComponentForFolder();
