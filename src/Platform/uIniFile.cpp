#include "src/Platform/uIniFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "src/Platform/uException.h"
#include "src/Platform/uTextCodec.h"

namespace {

QString Folded(const QString& AName) {
  return AName.trimmed().toCaseFolded();
}

QString Unquote(const QString& AValue) {
  if (AValue.size() >= 2) {
    const QChar first = AValue.front();
    if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && AValue.back() == first)
      return AValue.mid(1, AValue.size() - 2);
  }
  return AValue;
}

// Holds an exclusive advisory lock on the file's folder while a writer
// re-reads and replaces the file; other processes of ours queue behind it.
class TFolderLock {
 public:
  explicit TFolderLock(const QString& AFileName) {
    const QByteArray dir = QFile::encodeName(QFileInfo(AFileName).absolutePath());
    FFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FFd >= 0) {
      while (::flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~TFolderLock() {
    if (FFd >= 0) ::close(FFd);  // closing releases the lock
  }
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;

 private:
  int FFd = -1;
};

}  // namespace

TIniDocument::TLine TIniDocument::ParseLine(const QString& AText) {
  TLine line;
  line.Text = AText;
  const QString trimmed = AText.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';'))) return line;
  if (trimmed.startsWith(QLatin1Char('['))) {
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    if (close > 0) {
      line.Kind = TLineKind::Section;
      line.Name = trimmed.mid(1, close - 1).trimmed();
    }
    return line;
  }
  const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
  if (eq > 0) {
    line.Kind = TLineKind::Key;
    line.Name = trimmed.left(eq).trimmed();
    line.Value = Unquote(trimmed.mid(eq + 1).trimmed());
  }
  return line;
}

TIniDocument::TLine TIniDocument::KeyLine(const QString& AKey, const QString& AValue) {
  TLine line;
  line.Kind = TLineKind::Key;
  line.Name = AKey.trimmed();
  line.Value = AValue;
  // Reading trims and unquotes; quoting keeps such a value as it was given.
  const bool quote = AValue != AValue.trimmed() || Unquote(AValue) != AValue;
  line.Text = line.Name + QLatin1Char('=') + (quote ? QLatin1Char('"') + AValue + QLatin1Char('"') : AValue);
  return line;
}

void TIniDocument::CheckWritable(const QString& ASection, const QString& AKey, const QString& AValue) {
  // Each of these would write lines or names of its own into the file: a value
  // "x\n[Connection]\nStorageType=INI" would add a whole section.
  const auto hasBreak = [](const QString& AText) {
    return AText.contains(QLatin1Char('\n')) || AText.contains(QLatin1Char('\r'));
  };
  const auto oneLine = [](QString AText) {
    return AText.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
  };
  if (hasBreak(ASection) || hasBreak(AKey) || hasBreak(AValue))
    throw EConvertError(
        QStringLiteral("Settings value [%1] %2 is refused: a line break is not allowed in a section, key or value")
            .arg(oneLine(ASection), oneLine(AKey)));
  const QString section = ASection.trimmed();
  if (section.isEmpty() || section.contains(QLatin1Char(']')))
    throw EConvertError(QStringLiteral("Settings section name \"%1\" is not valid").arg(ASection));
  const QString key = AKey.trimmed();
  if (key.isEmpty() || key.contains(QLatin1Char('=')) || key.startsWith(QLatin1Char(';')) ||
      key.startsWith(QLatin1Char('[')))
    throw EConvertError(QStringLiteral("Settings key name \"%1\" is not valid").arg(AKey));
}

TIniDocument TIniDocument::FromText(const QString& AText) {
  TIniDocument doc;
  if (AText.contains(QLatin1String("\r\n"))) doc.FLineBreak = QStringLiteral("\r\n");
  QString text = AText;
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = text.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  doc.FLines.reserve(static_cast<size_t>(lines.size()));
  for (const QString& line : lines) doc.FLines.push_back(ParseLine(line));
  doc.Reindex();
  return doc;
}

TIniDocument TIniDocument::FromBytes(const QByteArray& ABytes) {
  return FromText(DecodeAnsiText(ABytes));
}

QString TIniDocument::ToText() const {
  QString text;
  for (const TLine& line : FLines) text += line.Text + FLineBreak;
  return text;
}

void TIniDocument::Reindex() {
  FSectionIndex.clear();
  for (size_t i = 0; i < FLines.size(); ++i) {
    if (FLines[i].Kind != TLineKind::Section) continue;
    const QString key = Folded(FLines[i].Name);
    if (!FSectionIndex.contains(key)) FSectionIndex.insert(key, static_cast<int>(i));
  }
}

int TIniDocument::SectionLine(const QString& ASection) const {
  return FSectionIndex.value(Folded(ASection), -1);
}

int TIniDocument::SectionEnd(int AHeader) const {
  int i = AHeader + 1;
  while (i < static_cast<int>(FLines.size()) && FLines[static_cast<size_t>(i)].Kind != TLineKind::Section) ++i;
  return i;
}

int TIniDocument::KeyLineIn(int AHeader, const QString& AKey) const {
  if (AHeader < 0) return -1;
  const QString key = Folded(AKey);
  const int end = SectionEnd(AHeader);
  for (int i = AHeader + 1; i < end; ++i) {
    const TLine& line = FLines[static_cast<size_t>(i)];
    if (line.Kind == TLineKind::Key && line.Name.toCaseFolded() == key) return i;
  }
  return -1;
}

QString TIniDocument::ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) const {
  const int line = KeyLineIn(SectionLine(ASection), AKey);
  return line < 0 ? ADefault : FLines[static_cast<size_t>(line)].Value;
}

void TIniDocument::WriteString(const QString& ASection, const QString& AKey, const QString& AValue) {
  CheckWritable(ASection, AKey, AValue);
  const int header = SectionLine(ASection);
  if (header < 0) {
    if (!FLines.empty() && !FLines.back().Text.trimmed().isEmpty()) FLines.push_back(ParseLine(QString()));
    FLines.push_back(ParseLine(QLatin1Char('[') + ASection.trimmed() + QLatin1Char(']')));
    FLines.push_back(KeyLine(AKey, AValue));
    Reindex();
    return;
  }
  const int existing = KeyLineIn(header, AKey);
  if (existing >= 0) {
    TLine& line = FLines[static_cast<size_t>(existing)];
    line = KeyLine(line.Name, AValue);  // the key keeps its spelling
    return;
  }
  // After the section's last key, so trailing blank lines stay between sections.
  int insertAt = header + 1;
  const int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i)
    if (FLines[static_cast<size_t>(i)].Kind != TLineKind::Other ||
        !FLines[static_cast<size_t>(i)].Text.trimmed().isEmpty())
      insertAt = i + 1;
  FLines.insert(FLines.begin() + insertAt, KeyLine(AKey, AValue));
  Reindex();
}

bool TIniDocument::SectionExists(const QString& ASection) const {
  const int header = SectionLine(ASection);
  if (header < 0) return false;
  const int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i)
    if (FLines[static_cast<size_t>(i)].Kind == TLineKind::Key) return true;
  return false;
}

bool TIniDocument::ValueExists(const QString& ASection, const QString& AKey) const {
  return KeyLineIn(SectionLine(ASection), AKey) >= 0;
}

QStringList TIniDocument::Sections() const {
  QStringList result;
  for (size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].Kind == TLineKind::Section && FSectionIndex.value(Folded(FLines[i].Name)) == static_cast<int>(i))
      result << FLines[i].Name;
  return result;
}

QStringList TIniDocument::Keys(const QString& ASection) const {
  QStringList result;
  for (const auto& pair : SectionValues(ASection)) result << pair.first;
  return result;
}

QList<QPair<QString, QString>> TIniDocument::SectionValues(const QString& ASection) const {
  QList<QPair<QString, QString>> result;
  const int header = SectionLine(ASection);
  if (header < 0) return result;
  QHash<QString, bool> seen;
  const int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i) {
    const TLine& line = FLines[static_cast<size_t>(i)];
    if (line.Kind != TLineKind::Key || seen.contains(line.Name.toCaseFolded())) continue;
    seen.insert(line.Name.toCaseFolded(), true);
    result.append({line.Name, line.Value});
  }
  return result;
}

void TIniDocument::EraseSection(const QString& ASection) {
  // Every section of that name goes, as a later duplicate would otherwise surface.
  for (int header = SectionLine(ASection); header >= 0; header = SectionLine(ASection)) {
    FLines.erase(FLines.begin() + header, FLines.begin() + SectionEnd(header));
    Reindex();
  }
}

void TIniDocument::DeleteKey(const QString& ASection, const QString& AKey) {
  const int line = KeyLineIn(SectionLine(ASection), AKey);
  if (line < 0) return;
  FLines.erase(FLines.begin() + line);
  Reindex();
}

TIniDocument TIniFile::Load() const {
  QFile file(FFileName);
  if (!file.open(QIODevice::ReadOnly)) return TIniDocument();
  return TIniDocument::FromBytes(file.readAll());
}

void TIniFile::Save(const TIniDocument& ADocument) const {
  // A file marked read-only is refused even where the folder would let the
  // rename replace it (and for root).
  const QFileInfo info(FFileName);
  const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
  bool ok = !(info.exists() && (!info.isWritable() || !(info.permissions() & writeBits)));
  if (ok) {
    QSaveFile file(FFileName);
    ok = file.open(QIODevice::WriteOnly);
    if (ok) {
      const QByteArray bytes = ADocument.ToText().toUtf8();
      ok = file.write(bytes) == bytes.size() && file.commit();
    }
  }
  if (!ok) throw EInOutError(QStringLiteral("Unable to write to %1").arg(FFileName));
}

void TIniFile::Update(const std::function<void(TIniDocument&)>& AEdit) const {
  TFolderLock lock(FFileName);
  TIniDocument doc = Load();
  AEdit(doc);
  Save(doc);
}

QString TIniFile::ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) const {
  return Load().ReadString(ASection, AKey, ADefault);
}

void TIniFile::WriteString(const QString& ASection, const QString& AKey, const QString& AValue) const {
  Update([&](TIniDocument& doc) { doc.WriteString(ASection, AKey, AValue); });
}

bool TIniFile::SectionExists(const QString& ASection) const {
  return Load().SectionExists(ASection);
}

bool TIniFile::ValueExists(const QString& ASection, const QString& AKey) const {
  return Load().ValueExists(ASection, AKey);
}
