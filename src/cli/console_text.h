// Texts for the terminal and for JSON. The core's texts are Windows-1252 bytes; a terminal and a JSON
// reader want UTF-8.
#pragma once

#include <string>
#include <vector>

namespace gelvar {

std::string Cp1252ToUtf8(const std::string& text);
bool IsValidUtf8(const std::string& text);
// Text as a terminal shows it. Texts that are valid UTF-8 already (a file path the user typed, which
// the message pane carries as the file system's bytes) pass unchanged; anything else is taken as
// Windows-1252. The core's own texts are never valid UTF-8 unless they are plain ASCII.
std::string TerminalText(const std::string& text);

// A JSON string literal of UTF-8 text, quotes included.
std::string JsonString(const std::string& utf8);
std::string JsonArray(const std::vector<std::string>& jsonValues);

// One JSON object, members in the order they were added.
class JsonObject {
 public:
  JsonObject& String(const std::string& key, const std::string& utf8);
  JsonObject& Number(const std::string& key, long long value);
  JsonObject& Raw(const std::string& key, const std::string& json);
  std::string Text() const { return "{" + members_ + "}"; }
  bool Empty() const { return members_.empty(); }

 private:
  std::string members_;
};

}  // namespace gelvar
