#include <gtest/gtest.h>

#include <QRegularExpression>

#include "src/Platform/uBase64.h"
#include "src/Platform/uException.h"
#include "src/Platform/uGuid.h"
#include "src/Platform/uMD5.h"
#include "src/Platform/uTextCodec.h"
#include "support/TestEnv.h"

namespace {

TEST(Digests, MD5IsUpperCaseHex) {
  EXPECT_EQ(MD5Hex(QByteArray()), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(MD5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  // Password digests go over the Windows-1251 bytes, not UTF-8.
  EXPECT_EQ(MD5OfAnsiText(QStringLiteral("пароль")), "749789E4982B0C563F6729AAC100A614");
  EXPECT_NE(MD5OfAnsiText(QStringLiteral("пароль")), MD5Hex(QStringLiteral("пароль").toUtf8()));
}

TEST(Base64, EncodesWithPaddingAndDecodesStrictly) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                       {"f", "Zg=="},
                                                       {"fo", "Zm8="},
                                                       {"foo", "Zm9v"},
                                                       {"foob", "Zm9vYg=="},
                                                       {"fooba", "Zm9vYmE="},
                                                       {"foobar", "Zm9vYmFy"}};
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(EncodeBase64(QByteArray(bytes)), QString::fromLatin1(text));
    EXPECT_EQ(DecodeBase64(QString::fromLatin1(text)), QByteArray(bytes));
  }
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
  const QString encoded = EncodeBase64(all.repeated(100));
  EXPECT_FALSE(encoded.contains(u'\n'));
  EXPECT_EQ(DecodeBase64(encoded), all.repeated(100));
  for (const char* bad : {"Zg", "Zg=", "Zm9\nYmFy", "Zm9 YmFy", "Zm9v*mFy", "=Zg=", "Zg==Zg=="})
    EXPECT_THROW(DecodeBase64(QString::fromLatin1(bad)), EConvertError) << bad;
}

TEST(Guids, BothForms) {
  const QString braced = NewGuidString();
  EXPECT_TRUE(QRegularExpression("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$")
                  .match(braced)
                  .hasMatch())
      << braced;
  const QString hex = NewGuidHex();
  EXPECT_TRUE(QRegularExpression("^[0-9a-f]{32}$").match(hex).hasMatch()) << hex;
  EXPECT_NE(NewGuidHex(), hex);
}

TEST(TextCodec, Windows1251RoundTrip) {
  const QString text = QStringLiteral("Ёжик в тумане №5 — «цитата»");
  const QByteArray bytes = EncodeWin1251(text);
  EXPECT_EQ(bytes.size(), text.size());
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xA8);  // Ё
  EXPECT_EQ(DecodeWin1251(bytes), text);
  EXPECT_EQ(EncodeWin1251(QStringLiteral("日")), "?");
  EXPECT_EQ(DecodeAnsiText(bytes), text);
}

}  // namespace
