#include "support/command_sweeps.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zipcvx_test {

int32_t CommandSweepTest::Code(const char* message) {
    const auto& messages = host().errorMessages_;
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i] == message) return cvx::Host::kFirstErrorCode + static_cast<int>(i);
    }
    ADD_FAILURE() << "no code for " << message;
    return 0;
}

bool CommandSweepTest::Command(const std::string& chunk, const std::vector<int32_t>& codes,
                               bool callbackCodes) {
    std::string message;
    const int32_t code = RunForCode(host(), chunk, &message);
    if (code == 0) return true;
    const bool expected = std::find(codes.begin(), codes.end(), code) != codes.end() ||
                          (callbackCodes && code >= cvx::Host::kFirstCallbackCode);
    EXPECT_TRUE(expected) << chunk << "\nfailed with " << code << ": " << message;
    return false;
}

zip_t* CommandSweepTest::ArchiveNumbered(int32_t number) {
    for (ArchiveObject* r = *host().objectTypes_.at(0).head; r != nullptr; r = r->next) {
        if (r->idHandle == 0 && r->idNumber == number) return static_cast<zip_t*>(r->archive);
    }
    ADD_FAILURE() << "no archive " << number;
    return nullptr;
}

}  // namespace zipcvx_test
