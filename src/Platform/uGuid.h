#pragma once

#include <QString>

// A new random GUID as "{8-4-4-4-12}" in upper case (environment IDs, record GUIDs).
QString NewGuidString();
// A new random GUID as 32 lower-case hexadecimal digits.
QString NewGuidHex();
