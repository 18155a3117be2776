#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// An INI text held in memory. Sections and keys compare without regard to
// case; the first of duplicate sections or keys wins. Lines are kept as read,
// so a rewrite changes only what was edited (comments and order survive).
class TIniDocument {
 public:
  static TIniDocument FromText(const QString& AText);
  static TIniDocument FromBytes(const QByteArray& ABytes);  // by the "ANSI" file rule
  QString ToText() const;

  QString ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) const;
  // Raises EConvertError, changing nothing, for a line break anywhere, an empty
  // name, "]" in a section name, "=" in a key name or a key read as a comment
  // or section. A value with outer blanks or quotes is written quoted.
  void WriteString(const QString& ASection, const QString& AKey, const QString& AValue);
  // True when the section holds at least one key.
  bool SectionExists(const QString& ASection) const;
  bool ValueExists(const QString& ASection, const QString& AKey) const;
  QStringList Sections() const;
  QStringList Keys(const QString& ASection) const;
  QList<QPair<QString, QString>> SectionValues(const QString& ASection) const;
  void EraseSection(const QString& ASection);
  void DeleteKey(const QString& ASection, const QString& AKey);
  bool IsEmpty() const { return FLines.empty(); }

 private:
  enum class TLineKind { Other, Section, Key };
  struct TLine {
    TLineKind Kind = TLineKind::Other;
    QString Text;   // the line as written
    QString Name;   // section or key name, trimmed
    QString Value;  // key value, trimmed and unquoted
  };

  static TLine ParseLine(const QString& AText);
  static TLine KeyLine(const QString& AKey, const QString& AValue);
  static void CheckWritable(const QString& ASection, const QString& AKey, const QString& AValue);
  void Reindex();
  int SectionLine(const QString& ASection) const;  // header line index or -1
  int SectionEnd(int AHeader) const;               // first line after the section
  int KeyLineIn(int AHeader, const QString& AKey) const;

  std::vector<TLine> FLines;
  QHash<QString, int> FSectionIndex;  // case-folded name -> first header line
  QString FLineBreak = QStringLiteral("\n");
};

// An INI file on disk without a cache: every read loads the file as it is now,
// every write locks the folder against other processes, re-reads, edits and
// replaces the file atomically (temporary file + rename) before returning.
class TIniFile {
 public:
  explicit TIniFile(const QString& AFileName) : FFileName(AFileName) {}
  const QString& FileName() const { return FFileName; }

  // A missing file reads as an empty document.
  TIniDocument Load() const;
  // Raises EInOutError "Unable to write to %s" when the file cannot be replaced.
  void Save(const TIniDocument& ADocument) const;
  // Load, edit and save as one step, serialised against other writers.
  void Update(const std::function<void(TIniDocument&)>& AEdit) const;

  QString ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) const;
  void WriteString(const QString& ASection, const QString& AKey, const QString& AValue) const;
  bool SectionExists(const QString& ASection) const;
  bool ValueExists(const QString& ASection, const QString& AKey) const;

 private:
  QString FFileName;
};
