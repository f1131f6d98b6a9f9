// Texts cross between the program's 8-bit strings and Qt's strings here. Every byte stands for
// the Latin-1 character of the same value, so any byte string survives the round trip through
// a control unchanged (configuration files and filters are 8-bit, whatever their encoding).
// File paths are the exception: they are shown as the file system names them.
#pragma once

#include <QFile>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace kw {

inline QString from_8bit(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters beyond Latin-1 become '?'.
inline std::string to_8bit(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Where each byte of an 8-bit text lies in a multi-line edit that shows it, and where the text
// ends (the last entry): CR LF is one line end there, as are a lone CR and a lone LF.
inline std::vector<int> shown_positions(std::string_view text) {
  std::vector<int> positions(text.size() + 1);
  int position = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    positions[i] = position;
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) ++position;
  }
  positions[text.size()] = position;
  return positions;
}

// File paths are bytes too, but the file system's encoding decides which characters they are.
inline QString from_path(std::string_view path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

inline std::string to_path(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace kw
