#include "support/script_archives.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zipcvx_test {
namespace {

zip_int64_t DyingSourceCallback(void* userdata, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
    auto* state = static_cast<DyingSource*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_FREE:
            ++state->frees;
            return 0;
        case ZIP_SOURCE_STAT:
            zip_stat_init(static_cast<zip_stat_t*>(data));
            return sizeof(zip_stat_t);
        case ZIP_SOURCE_ERROR: {
            zip_error_t error;
            zip_error_init_with_code(&error, ZIP_ER_READ);
            return zip_error_to_data(&error, data, length);
        }
        case ZIP_SOURCE_READ:
            if (state->reads++ == state->readsBeforeDeath) {
                if (state->death == DyingSource::kExit) _exit(kDyingSourceExit);
                if (state->death == DyingSource::kKill) raise(SIGKILL);
                return -1;
            }
            for (zip_uint64_t i = 0; i < length; ++i)
                static_cast<unsigned char*>(data)[i] =
                    static_cast<unsigned char>((i * 2654435761u + state->reads) >> 13);
            return static_cast<zip_int64_t>(length);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            return -1;
    }
}

}  // namespace

int32_t ScriptArchives::Code(const char* message) {
    const int32_t code = host().ErrorCode(message);
    if (code == 0) ADD_FAILURE() << "no code for " << message;
    return code;
}

bool ScriptArchives::Command(const std::string& chunk, const std::vector<int32_t>& codes,
                             bool callbackCodes) {
    std::string message;
    const int32_t code = RunForCode(host(), chunk, &message);
    if (code == 0) return true;
    const bool expected = std::find(codes.begin(), codes.end(), code) != codes.end() ||
                          (callbackCodes && code >= cvx::Host::kFirstCallbackCode);
    EXPECT_TRUE(expected) << chunk << "\nfailed with " << code << ": " << message;
    return false;
}

std::vector<ArchiveObject*> ScriptArchives::Records() {
    std::vector<ArchiveObject*> records;
    for (ArchiveObject* r = host().ObjectList(0); r != nullptr; r = r->next)
        records.push_back(r);
    return records;
}

zip_t* ScriptArchives::ArchiveNumbered(int32_t number) {
    for (ArchiveObject* r : Records()) {
        if (r->idHandle == 0 && r->idNumber == number) return r->archive;
    }
    ADD_FAILURE() << "no archive " << number;
    return nullptr;
}

void ScriptArchives::AddPending(zip_t* archive, const std::string& name, const std::string& data) {
    void* copy = malloc(data.size() + 1);
    memcpy(copy, data.data(), data.size());
    zip_source_t* source = zip_source_buffer(archive, copy, data.size(), 1);
    ASSERT_NE(source, nullptr);
    ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
}

void ScriptArchives::AddDying(zip_t* archive, const std::string& name, DyingSource* source) {
    zip_source_t* dying = zip_source_function(archive, DyingSourceCallback, source);
    ASSERT_NE(dying, nullptr);
    const zip_int64_t i = zip_file_add(archive, name.c_str(), dying, 0);
    ASSERT_GE(i, 0);
    ASSERT_EQ(zip_set_file_compression(archive, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0), 0);
}

}  // namespace zipcvx_test
