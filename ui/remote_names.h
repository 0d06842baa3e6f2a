#pragma once
// Remote names between the wire's bytes and the window's text. The bytes stay the names used for
// every action; these only decide what the user reads and how typed names go out.

#include <QString>

#include <string>

class TIdFTP;

namespace remotenames {

// For display: Latin-1, byte for byte, when rawBytes; otherwise UTF-8, and a name that is not
// valid UTF-8 shown as Latin-1 too, so it reads as something other than replacement marks.
QString Display(const std::string& bytes, bool rawBytes);
// A typed name as bytes to send: Latin-1 when rawBytes and every character fits, else UTF-8.
std::string Bytes(const QString& text, bool rawBytes);

// Whether the session takes names as raw bytes (the site's choice).
bool RawBytes(const TIdFTP& ftp);

}  // namespace remotenames
