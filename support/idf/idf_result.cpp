#include "support/idf/idf_result.h"

namespace halcyon::support {

namespace {
struct ResultInfo {
    int32_t code;
    const char *name;
    const char *text;
};

constexpr ResultInfo kResults[] = {
    {IDF_OK, "IDF_OK", "success"},
    {IDF_FILE_NOT_FOUND, "IDF_FILE_NOT_FOUND", "the IDF file does not exist"},
    {IDF_FILE_UNREADABLE, "IDF_FILE_UNREADABLE", "the IDF file cannot be read"},
    {IDF_FILE_EMPTY, "IDF_FILE_EMPTY", "the IDF file is empty"},
    {IDF_FILE_TOO_LARGE, "IDF_FILE_TOO_LARGE", "the IDF file is larger than 32 MiB"},
    {IDF_NOT_WELL_FORMED, "IDF_NOT_WELL_FORMED", "the IDF is not well-formed XML"},
    {IDF_DOCTYPE_REFUSED, "IDF_DOCTYPE_REFUSED", "the IDF has a document type declaration, which is not accepted"},
    {IDF_TOO_DEEP, "IDF_TOO_DEEP", "the IDF nests elements too deeply"},
    {IDF_TOO_COMPLEX, "IDF_TOO_COMPLEX", "the IDF has too many elements and attributes"},
    {IDF_ROOT_NOT_IDF, "IDF_ROOT_NOT_IDF", "the root element of the IDF is not IDF"},
    {IDF_LIST_FULL, "IDF_LIST_FULL", "the answer does not fit its list"},
    {IDF_NO_ROOT_MCODE, "IDF_NO_ROOT_MCODE", "the IDF names no M-code"},
    {IDF_MCODE_NOT_FOUND, "IDF_MCODE_NOT_FOUND", "no M-code of the IDF fits"},
    {IDF_ATTRIBUTE_NOT_FOUND, "IDF_ATTRIBUTE_NOT_FOUND", "the node has no such attribute"},
    {IDF_INDEX_OUT_OF_RANGE, "IDF_INDEX_OUT_OF_RANGE", "the list has no node at that index"},
    {IDF_NO_DEFAULT_IMAGE, "IDF_NO_DEFAULT_IMAGE", "the recovery media do not offer the default image"},
    {IDF_MEDIA_INI_UNREADABLE, "IDF_MEDIA_INI_UNREADABLE", "the recovery media description cannot be read"},
    {IDF_OUT_OF_MEMORY, "IDF_OUT_OF_MEMORY", "out of memory while reading the IDF"},
};

const ResultInfo *Find(int32_t code)
{
    for (const auto &r : kResults)
        if (r.code == code)
            return &r;
    return nullptr;
}
} // namespace

const char *IdfResultName(int32_t code)
{
    const ResultInfo *r = Find(code);
    return r ? r->name : "IDF_UNKNOWN";
}

const char *IdfResultText(int32_t code)
{
    const ResultInfo *r = Find(code);
    return r ? r->text : "unknown result";
}

} // namespace halcyon::support
