// A full disk is reported as a full disk whichever library step met it.
#include <gtest/gtest.h>

#include <wimlib.h>

#include <cerrno>

#include "support/wim/wim_api.h"
#include "support/wim/wimlib_session.h"

using namespace halcyon::support::wim;

TEST(WimlibErrors, FullDiskIsDiskFull)
{
    struct Row {
        int code;
        int sysErrno;
        uint32_t want;
    } rows[] = {
        {WIMLIB_ERR_WRITE, ENOSPC, WIM_ERROR_DISK_FULL},
        {WIMLIB_ERR_OPEN, ENOSPC, WIM_ERROR_DISK_FULL},
        {WIMLIB_ERR_MKDIR, ENOSPC, WIM_ERROR_DISK_FULL},
        {WIMLIB_ERR_SET_ATTRIBUTES, ENOSPC, WIM_ERROR_DISK_FULL},
        {WIMLIB_ERR_WRITE, EACCES, WIM_ERROR_ACCESS_DENIED},
        {WIMLIB_ERR_OPEN, EACCES, WIM_ERROR_ACCESS_DENIED},
        {WIMLIB_ERR_SUCCESS, ENOSPC, WIM_ERROR_SUCCESS},
    };
    for (const Row &r : rows)
        EXPECT_EQ(MapWimlibError(r.code, r.sysErrno), r.want) << r.code << "/" << r.sysErrno;
}
