#pragma once

#include "E2ESupport.h"
#include "JackServer.h"

#include <gtest/gtest.h>

// Updates against tavrin-sim over a private JACK server, one server per test suite.
class E2ETest : public SimulatedUnitTest
{
protected:
    E2ETest()
        : SimulatedUnitTest("jack")
    {
    }

    static void SetUpTestSuite() { server = new JackServer; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(server->running()) << "jackd did not start";
        ASSERT_TRUE(dir.isValid());
        image = embeddedImage();
        ASSERT_FALSE(image.empty());
    }

    // The dump against the NAND the updater must leave, given block 0 before the pass.
    std::string dumpDifference(const expect::Scenario &scenario, const std::vector<Bytes> &block0)
    {
        return firstDifference(readFile(path("nand.bin")), dataArea(expect::expectedNand(scenario, block0)));
    }

    inline static JackServer *server = nullptr;
    Bytes image;
};
