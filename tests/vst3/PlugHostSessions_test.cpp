// Sessions as hosts run them, through the whole chain (the built bundle, the
// real engine host and "Brevado"): any block size a host announces, the
// validator's set-up sequences at every rate, a refused state, and a host
// that releases the plug-in while it exits.
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "support/PlugTestSupport.h"

using namespace plugtest;

namespace {

const std::string kProductDir = SX_PRODUCT_DIR;

class HostSessions : public ::testing::Test, protected PlugHost {
protected:
    void SetUp() override {
        const std::string command =
            std::string("\"") + SX_REGISTER_COMMAND + "\" \"" + kProductDir + "\" > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        openPlugHost("sondrix test host");
    }
    void TearDown() override { closeHost(); }
};

// ---- Release at exit --------------------------------------------------------------------

TEST_F(HostSessions, AHostReleasesThePlugInWhileItExits) {
    for (const char* when : {"atexit", "static"}) {
        const std::string log = testhome::root() + "/exit-host.log";
        const std::string command = std::string("\"") + SX_EXIT_RELEASE_HOST + "\" \"" +
                                    kPlugBundle + "\" " + when + " > \"" + log + "\" 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << when << ": status " << status << "\n"
            << testhome::readFile(log);
    }
}

} // namespace
