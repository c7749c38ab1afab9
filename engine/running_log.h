// The run's log lines and failure text, kept in memory. The install log, its header and the
// failure summary are written from these at the end of the run.
#pragma once
#include <string>

namespace halberd::engine {

void LogLine(const std::string& utf8_text);  // appended as given; callers end lines with "\r\n"
void AppendFailureText(const std::string& utf8_text);
const std::string& LogText();
const std::string& FailureText();

}  // namespace halberd::engine
