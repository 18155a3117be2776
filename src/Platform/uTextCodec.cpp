#include "src/Platform/uTextCodec.h"

#include <QHash>
#include <QStringDecoder>

namespace {

// 0x98 is undefined in the code page; like Windows we read it as U+0098, so
// every byte value survives a decode-encode round trip.
// Eight code points a row, as the code page is laid out.
// clang-format off
const char16_t cWin1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
// clang-format on

}  // namespace

QString DecodeWin1251(const QByteArray& ABytes) {
  QString result;
  result.reserve(ABytes.size());
  for (char c : ABytes) {
    const auto byte = static_cast<unsigned char>(c);
    result.append(byte < 0x80 ? QChar(byte) : QChar(cWin1251High[byte - 0x80]));
  }
  return result;
}

QByteArray EncodeWin1251(const QString& AText) {
  // Reverse table built once: bulk text (blobs, log digests) is encoded often.
  static const QHash<char16_t, char> reverse = [] {
    QHash<char16_t, char> table;
    for (int i = 0; i < 128; ++i) table.insert(cWin1251High[i], static_cast<char>(0x80 + i));
    return table;
  }();
  QByteArray result;
  result.reserve(AText.size());
  for (QChar ch : AText) {
    const char16_t unit = ch.unicode();
    result.append(unit < 0x80 ? static_cast<char>(unit) : reverse.value(unit, '?'));
  }
  return result;
}

bool IsValidUtf8(const QByteArray& ABytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder.decode(ABytes);  // decoding is lazy until converted
  return !decoder.hasError();
}

QString DecodeAnsiText(const QByteArray& ABytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(ABytes.constData());
  const qsizetype size = ABytes.size();
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    QStringDecoder decoder(QStringDecoder::Utf16LE);
    return decoder.decode(ABytes.mid(2));
  }
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    QStringDecoder decoder(QStringDecoder::Utf16BE);
    return decoder.decode(ABytes.mid(2));
  }
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) return QString::fromUtf8(ABytes.mid(3));
  if (IsValidUtf8(ABytes)) return QString::fromUtf8(ABytes);
  return DecodeWin1251(ABytes);
}
