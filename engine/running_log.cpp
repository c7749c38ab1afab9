#include "engine/running_log.h"

namespace halberd::engine {

namespace {
std::string& Log() {
  static std::string text;
  return text;
}
std::string& Failures() {
  static std::string text;
  return text;
}
}  // namespace

void LogLine(const std::string& utf8_text) { Log() += utf8_text; }
void AppendFailureText(const std::string& utf8_text) { Failures() += utf8_text; }
const std::string& LogText() { return Log(); }
const std::string& FailureText() { return Failures(); }

}  // namespace halberd::engine
