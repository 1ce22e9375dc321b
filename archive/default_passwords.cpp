#include "archive/default_passwords.h"

#include <string.h>

#include "archive/archive_registry.h"
#include "plugin/plugin_state.h"

bool RememberDefaultPassword(ArchiveObject* record, const char* password) {
    char* copy = nullptr;
    if (password != nullptr && password[0] != '\0') {
        const size_t length = strlen(password);
        copy = static_cast<char*>(System().Alloc(length + 1, 0, "zpw"));
        if (copy == nullptr) return false;
        memcpy(copy, password, length + 1);
    }
    ForgetDefaultPassword(record);
    RecordOf(record)->defaultPassword = copy;
    return true;
}

const char* DefaultPasswordOf(const ArchiveObject* record) {
    return RecordOf(record)->defaultPassword;
}

void ForgetDefaultPassword(ArchiveObject* record) {
    char*& password = RecordOf(record)->defaultPassword;
    if (password == nullptr) return;
    memset(password, 0, strlen(password));  // no password lingers in freed memory
    System().Free(password);
    password = nullptr;
}
