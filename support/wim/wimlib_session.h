// wimlib pieces shared by the imaging interface and the WIM builder:
// library set-up, error mapping, XML metadata, image extraction with
// message callbacks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "halcyon/HalcyonDLL.h"

struct WIMStruct;

namespace halcyon::support::wim {

// Initialises wimlib once per process (errors not printed).
void EnsureWimlibReady();

// wimlib error code (and errno of the failed system call) -> last-error value.
uint32_t MapWimlibError(int code, int sysErrno);
std::string WimlibErrorText(int code);

// The WIM's whole XML metadata as UTF-8 text. 0 or a wimlib error code.
int ReadWimXml(WIMStruct *wim, std::string &xml);

// The "<IMAGE INDEX="n">...</IMAGE>" element of image `index` in the XML
// text; empty when absent.
std::string ImageElement(const std::string &xml, uint32_t index);

// Whether any entry of the image carries Unix owner, group and mode. Loads
// the image's metadata. 0 or a wimlib error code.
int ImageHasUnixData(WIMStruct *wim, int image, bool &unixData);

// Extracts image `index` to `hostFolder` (created when missing), telling
// `callbacks` about the progress. False with `error` and `text` set on
// failure.
bool ExtractImage(WIMStruct *wim, uint32_t index, bool unixData, const std::string &hostFolder,
                  const std::vector<std::pair<WimMessageCallback, void *>> &callbacks, uint32_t &error,
                  std::string &text);

} // namespace halcyon::support::wim
