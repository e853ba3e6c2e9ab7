#pragma once

#include "platform/win/Afx.h"

// What the device settings page needs of the window it lies on: the units the user works in. The
// main window implements it, so the kit needs nothing of the main window's class.
class UnitsOwner
{
  public:
    virtual ~UnitsOwner() = default;

    // TRUE for centimetres and kilograms, FALSE for inches and pounds.
    virtual BOOL IsMetricUnits() const = 0;
};
