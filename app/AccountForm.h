#pragma once

// The personal-information form that the New Account and My Profile pages share, and that the
// shared callbacks (gender and unit radios, the age beside the date fields) act on: its control
// ids and the unit factors its numbers are converted with.

#include "platform/win/WinTypes.h"

namespace accountform
{
constexpr UINT kFirstNameId = 1014;
constexpr UINT kLastNameId = 1015;
constexpr UINT kFemaleId = 1033;
constexpr UINT kMaleId = 1034;
constexpr UINT kDayId = 1016;
constexpr UINT kMonthId = 1017;
constexpr UINT kYearId = 1018;
constexpr UINT kAgeId = 1019;
constexpr UINT kMetricId = 1216;
constexpr UINT kImperialId = 1361;
constexpr UINT kHeightId = 1020; // centimetres, or feet
constexpr UINT kInchesId = 1021;
constexpr UINT kWeightId = 1022; // kilograms, or pounds
constexpr UINT kHeightUnitId = 1213;
constexpr UINT kInchesUnitId = 1379;
constexpr UINT kWeightUnitId = 1214;
constexpr UINT kAccountLoginId = 1023;
constexpr UINT kNewPasswordId = 1004;
constexpr UINT kVerifyPasswordId = 1024;
constexpr UINT kOldPasswordId = 1152;

constexpr double kPoundsPerKilogram = 2.2046;
constexpr double kCentimetresPerInch = 2.54;
} // namespace accountform
