// A handler file that reads a parameter under a name the catalog does not
// have: the store, and so the service, refuses to start.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Service.h"
#include "Store.h"

using namespace tessel::server;

namespace {

// As a handler file declares what it reads, with "acluser" misspelt.
const Param kAclUser{"acluesr"};

std::string StartUpFailure(const std::function<void()>& start)
{
    try {
        start();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "(started)";
}

}  // namespace

TEST(MisspeltParameter, StopsTheStoreAndTheServiceAtStartUp)
{
    const std::string expected = "a handler reads the parameter \"acluesr\", which no operation of the catalog takes";
    EXPECT_EQ(StartUpFailure([] { Store store({"tester"}); }), expected);
    EXPECT_EQ(StartUpFailure([] { Service service(ServiceOptions{}); }), expected);
    EXPECT_EQ(kAclUser.name(), "acluesr");
}
