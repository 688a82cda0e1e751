// The editor for tests that link a module into the test program.
#include "tests/support/test_host.h"

#include "host/module.h"

TestHost::TestHost()
{
    module_.link({VirtualdubFilterModuleInit2, VirtualdubFilterModuleDeinit}, error_);
}

#if !defined(_WIN32)
int TestHost::dialog(FilterActivation *fa, DialogScript script) const
{
    DialogPlayer player(std::move(script));
    return module_.callConfig(fa, player.parent());
}
#endif
