#pragma once

#include "JackServer.h"

#include <gtest/gtest.h>

/** A test with the project's private JACK server running for its whole length. */
class JackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE (server.start (&error)) << error;
    }

    testjack::JackServer server;
};
