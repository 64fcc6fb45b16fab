#pragma once
// A test fixture with a CardSession over a FakeTransport (kept as `fake` for inspection).
#include <gtest/gtest.h>

#include <memory>

#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::test {

struct FakeSessionTest : ::testing::Test {
    FakeTransport* fake = nullptr;
    std::unique_ptr<CardSession> session;

    void SetUp() override {
        auto transport = std::make_unique<FakeTransport>();
        fake = transport.get();
        session = std::make_unique<CardSession>(std::move(transport));
    }
};

}  // namespace vorl::test
