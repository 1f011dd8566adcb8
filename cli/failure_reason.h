// What the operator is told about a failed stage: the code's name and
// meaning, the log's error line, and whether running the same command again
// can succeed as things are.
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::cli {

// "RETURN_DEST_DIR_NOT_EXIST: the destination folder does not exist", the
// meaning alone for codes without a name, "" for codes nobody names.
std::string CodeMeaning(int64_t code);
// "35 (RETURN_DEST_DIR_NOT_EXIST: ...)", or the bare number.
std::string CodeText(int64_t code);

// The last of the log's last lines that reports an error, a failure or
// something missing, without its time stamp; "" when there is none.
std::string LastErrorLine(const std::string &log);

// False when a rerun would fail the same way until the operator changes
// something: a missing medium or file, an image made for other machines, a
// damaged module folder, a language that is not offered, an unsafe plan.
bool RerunCanSucceed(const std::string &stage, int64_t code);

} // namespace halcyon::cli
