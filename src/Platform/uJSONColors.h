#pragma once

#include <QString>
#include <cstdint>

// Colour texts of JSON documents. Colours are ARGB (alpha in the top byte).

struct TColorName {
  const char* Name;
  uint32_t Value;
};

// The 140 CSS Level 3 extended colour keywords ("gray" spellings, each word
// capitalised) with alpha FF, plus "Transparent" (0x00FFFFFF), alphabetically.
constexpr int cColorNameCount = 141;
extern const TColorName cColorNames[cColorNameCount];

// The first name with that value ("Aqua" before "Cyan"), else "#" and eight
// lower-case hexadecimal digits.
QString JSONColorToText(uint32_t AColor);
// Trimmed, any letter case: "" gives 0; "#" + hexadecimal digits that number
// (0 when not hexadecimal); a text starting with a digit a signed 32-bit decimal
// integer, or hexadecimal when that gives 0; otherwise a name, 0 when unknown.
uint32_t JSONTextToColor(const QString& AText);
