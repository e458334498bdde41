#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <string_view>

class QMimeData;

// The catalogue keeps names and paths as the bytes the directory gave, which need not be UTF-8
// (an old CD's Latin-1 names). The window shows them readably and hands the bytes themselves
// to the file system and the clipboard.

// What the user reads: valid UTF-8 as it is, a byte that is not as its Latin-1 character, a
// control character as "?".
QString ReadableName(std::string_view bytes);
// A file:// URI that keeps every byte of `path`.
QByteArray FileUri(std::string_view path);
// `path` as text: as it is when it is valid UTF-8 without control characters, else quoted as
// ls quotes it ('caf'$'\351'), which a shell turns back into the bytes.
QString PathText(std::string_view path);
// The clipboard's content for a copied path: the URI list for file managers, and PathText.
std::unique_ptr<QMimeData> PathMimeData(std::string_view path);
