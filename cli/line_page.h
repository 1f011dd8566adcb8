// The page "halcyon line --serve" serves: a table of the line's machines
// refreshed from /line.json every two seconds.
#pragma once

namespace halcyon::cli {

const char *LinePageHtml();
const char *LinePageScript();

} // namespace halcyon::cli
