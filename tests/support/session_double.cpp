#include "support/session_double.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {
SessionDouble gView;

// Every test starts with a fresh window double connected.
class ResetBetweenTests : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { ResetView(); }
};
} // namespace

SessionDouble& View() {
    return gView;
}

void ResetView() {
    gView = SessionDouble{};
    core::ConnectView(&gView);
}

void InstallResetListener() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetBetweenTests);
}

} // namespace testsupport
