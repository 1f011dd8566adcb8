// Only the exact VerificationType words judge a module; any other spelling
// is refused before the install instead of turning a failure into success.
#include <gtest/gtest.h>

#include "halcyon/ReturnCodes.h"
#include "tests/modules/mod_setup_fixture.h"

namespace halcyon::test {

namespace {

class VerificationTypeTest : public ModSetupFixture {};

TEST_F(VerificationTypeTest, AnInstallerThatFailsIsNeverReportedAsInstalled)
{
    struct Row {
        const char *type;
        int32_t want;
    } rows[] = {
        {"ReturnCode", RETURN_MODULE_NONZERO_RETURN},
        {"None", RETURN_SUCCESS},
        {"returncode", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"RETURNCODE", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"none", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"Verify", RETURN_UNKNOWN_VERIFICATION_TYPE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("VerificationType='") + row.type + "'");
        MediaModule m = Module("300370");
        m.exitCode = 1;
        m.verificationType = row.type;
        media.Make({m});
        ModSetupCall call;
        call.options = modules::OPTION_IGNORE_RESUME;
        EXPECT_EQ(media.Call(call), row.want);
        if (row.want == RETURN_UNKNOWN_VERIFICATION_TYPE) {
            EXPECT_TRUE(LogHas("[1] VerificationType='" + std::string(row.type) + "' is not one of"));
            EXPECT_TRUE(media.Runs().empty()) << "the module is refused before its installer runs";
        }
        std::remove(media.runLog.c_str());
    }
}

} // namespace

} // namespace halcyon::test
